#include "ui/dialogs/passworddlg.h"

#include "settings/clientsettings.h"
#include "ui/dialogs/dialogstyle.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

namespace {

// In pixels of the client area.
constexpr QSize kPasswordDialogSize(320, 106);
constexpr QRect kNameRect(12, 8, 296, 22);
constexpr QRect kCaptionRect(12, 36, 100, 22);
constexpr QRect kEditRect(116, 36, 192, 22);
constexpr QRect kOkRect(132, 72, 84, 26);
constexpr QRect kCancelRect(224, 72, 84, 26);

constexpr int kPasswordBytes = int(sizeof(ClientSettings::m_szPassword)) - 1;

// Refuses a password whose UTF-8 form would not fit the settings field.
class CPasswordLengthValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        return input.toUtf8().size() <= kPasswordBytes ? Acceptable : Invalid;
    }
};

} // namespace

CPasswordDlg::CPasswordDlg(const QString &szRecorder, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Password"));
    ApplyDialogLook(this);
    setFixedSize(kPasswordDialogSize);
    auto *pName = new QLabel(szRecorder, this);
    pName->setGeometry(kNameRect);
    auto *pCaption = new QLabel(QStringLiteral("PASSWORD :"), this);
    pCaption->setGeometry(kCaptionRect);
    m_pEdit = new QLineEdit(this);
    m_pEdit->setGeometry(kEditRect);
    m_pEdit->setEchoMode(QLineEdit::Password);
    m_pEdit->setValidator(new CPasswordLengthValidator(m_pEdit));
    auto *pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setGeometry(kOkRect);
    pOk->setDefault(true);
    auto *pCancel = new QPushButton(QStringLiteral("CANCEL"), this);
    pCancel->setGeometry(kCancelRect);
    pCancel->setAutoDefault(false);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);
    m_pEdit->setFocus();
}

QString CPasswordDlg::Password() const
{
    return m_pEdit->text();
}
