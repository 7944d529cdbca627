#pragma once
// The look the settings dialogs share with the main form: the dark face of the
// skin, light captions, green-on-black entry fields like the status panel's
// displays, and the "Tahoma" font.

class QWidget;

// Sets font, palette and style sheet on a dialog; its children inherit them.
void ApplyDialogLook(QWidget *pDialog);
