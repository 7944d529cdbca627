#include "ui/controls/skinfont.h"

#include <QFile>
#include <QFontDatabase>

bool LoadTahoma()
{
    static const bool bLoaded = [] {
        for (const char *pszPath :
             {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            const QString path = QString::fromLatin1(pszPath);
            if (QFile::exists(path))
                QFontDatabase::addApplicationFont(path);
        }
        return QFontDatabase::hasFamily(QStringLiteral("Tahoma"));
    }();
    return bLoaded;
}

QFont ControlFont(int nPixelSize, bool bBold)
{
    QFont font(LoadTahoma() ? QStringLiteral("Tahoma") : QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(nPixelSize);
    font.setBold(bBold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}
