#include "ui/controls/skinids.h"

#include <QString>

// The artwork lives in a static library; its resources must be registered explicitly.
static void InitSkinResources()
{
    static const bool bDone = [] {
        Q_INIT_RESOURCE(skin);
        return true;
    }();
    (void)bDone;
}

static QString SkinPath(int nId)
{
    return QStringLiteral(":/skin/%1.png").arg(nId);
}

QImage SkinImage(int nId)
{
    InitSkinResources();
    return QImage(SkinPath(nId));
}

QPixmap SkinBitmap(int nId)
{
    InitSkinResources();
    return QPixmap(SkinPath(nId));
}
