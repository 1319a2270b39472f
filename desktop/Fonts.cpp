#include "Fonts.h"

#include <QFontDatabase>
#include <QHash>

#include <mutex>

namespace desktop {

namespace {

struct StandIns {
    const char* layoutFamily;
    const char* families[3];  // in order of preference; nullptr where there are fewer
};

// Families whose advance widths are within about five per cent of the layout's family.
constexpr StandIns Table[] = {
    {"MS Sans Serif", {"Liberation Sans", "Arimo", "Arial"}},
    {"Tahoma", {"DejaVu Sans Condensed", nullptr, nullptr}},
    {"Verdana", {"DejaVu Sans", "Bitstream Vera Sans", nullptr}},
};

}  // namespace

// Resolved here, against Qt's own list of installed families. A font that names a missing family
// is left to the system, and fontconfig answers with its default sans (DejaVu Sans on Debian),
// wider than MS Sans Serif and Tahoma: the captions are cut. A font that names an installed
// family is used as it is, so the font in use is the one chosen here, QFont::family() and
// QFontInfo agree, and no process-wide substitution table is needed that every other font of
// the program would also go through.
// Each answer is kept for the process: a window asks for the same few families once per
// control, and every hasFamily() runs fontconfig's substitution rules and lists all families.
QString standInFamily(const QString& layoutFamily)
{
    static std::mutex lock;
    static QHash<QString, QString> chosen;
    const std::lock_guard<std::mutex> locked(lock);
    if (const auto known = chosen.constFind(layoutFamily); known != chosen.constEnd())
        return *known;
    QString family = layoutFamily;
    if (!QFontDatabase::hasFamily(layoutFamily)) {
        for (const StandIns& entry : Table) {
            if (layoutFamily.compare(QLatin1String(entry.layoutFamily), Qt::CaseInsensitive) != 0)
                continue;
            for (const char* standIn : entry.families)
                if (standIn && QFontDatabase::hasFamily(QString::fromLatin1(standIn))) {
                    family = QString::fromLatin1(standIn);
                    break;
                }
        }
    }
    chosen.insert(layoutFamily, family);
    return family;
}

QFont font(const QString& layoutFamily, double points)
{
    QFont result(standInFamily(layoutFamily));
    result.setPointSizeF(points);
    result.setWeight(QFont::Normal);
    result.setItalic(false);
    result.setStyleHint(QFont::SansSerif);
    return result;
}

QFont dialogFont() { return font(QStringLiteral("MS Sans Serif"), 8.25); }
QFont verdanaSmall() { return font(QStringLiteral("Verdana"), 6.75); }
QFont tahoma() { return font(QStringLiteral("Tahoma"), 8.25); }

}  // namespace desktop
