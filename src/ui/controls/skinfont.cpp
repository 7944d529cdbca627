#include "ui/controls/skinfont.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>

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

QFont SmallFont()
{
    // A cell height of 12 px is an em of 10 px in Tahoma (ascent + descent is about
    // 1.2 em).
    QFont font(LoadTahoma() ? QStringLiteral("Tahoma") : QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(10);
    font.setWeight(QFont::Bold);
    // Crisp, grid-fitted pixels: smoothing thins the bold strokes, and without full
    // hinting the glyphs of this size crowd each other.
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    if (font.family() != QStringLiteral("Tahoma")) {
        // Wider stand-ins are narrowed so every text keeps to its rectangle.
        QFontMetrics fm(font);
        const int nAvg = fm.averageCharWidth();
        if (nAvg > 5)
            font.setStretch(qBound(50, 100 * 5 / nAvg + 5, 100));
    }
    return font;
}
