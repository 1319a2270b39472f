#include "EncoderCatalogueCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace capture {

namespace {

// One line per entry: "video|audio", factory, listed name, the sizes it takes ("720x480 720x576");
// or "left out", factory, why. The file's first line is the stamp it was made for.
const QString kVideo = QStringLiteral("video");
const QString kAudio = QStringLiteral("audio");
const QString kLeftOut = QStringLiteral("left out");
const QString kEnd = QStringLiteral("end");

QString oneField(const std::string& text)
{
    return QString::fromStdString(text).replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString sizesField(const std::vector<PictureSize>& sizes)
{
    QStringList words;
    for (const PictureSize& size : sizes)
        words << QStringLiteral("%1x%2").arg(size.width).arg(size.height);
    return words.join(QLatin1Char(' '));
}

std::optional<std::vector<PictureSize>> sizesOf(const QString& field)
{
    std::vector<PictureSize> sizes;
    for (const QString& word : field.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList sides = word.split(QLatin1Char('x'));
        bool wide = false, high = false;
        if (sides.size() != 2)
            return std::nullopt;
        sizes.push_back({sides[0].toInt(&wide), sides[1].toInt(&high)});
        if (!wide || !high)
            return std::nullopt;
    }
    return sizes;
}

}  // namespace

QString EncoderCatalogueCache::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/orvex/encoder-catalogue.tsv");
}

EncoderCatalogueCache::EncoderCatalogueCache(QString file, QString trialsFile, RegistryPlace place)
    : m_file(std::move(file)), m_trialsFile(std::move(trialsFile)), m_place(std::move(place))
{
}

std::optional<std::string> EncoderCatalogueCache::stamp() const
{
    std::optional<std::string> registry = registryStamp(m_place);
    if (!registry)
        return std::nullopt;
    const QFileInfo trials(m_trialsFile);
    if (!trials.exists())
        return std::nullopt;
    return "format " + std::to_string(kFormat) + "; " + *registry + "; trials " + std::to_string(trials.size()) + " " +
           std::to_string(trials.lastModified().toMSecsSinceEpoch());
}

std::optional<EncoderCatalogue> EncoderCatalogueCache::load() const
{
    const std::optional<std::string> now = stamp();
    QFile stored(m_file);
    if (!now || !stored.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    QTextStream lines(&stored);
    if (lines.readLine().toStdString() != *now)
        return std::nullopt;
    EncoderCatalogue catalogue;
    while (!lines.atEnd()) {
        const QStringList fields = lines.readLine().split(QLatin1Char('\t'));
        if (fields.size() == 1 && fields[0] == kEnd)
            return catalogue;
        if (fields.size() == 3 && fields[0] == kLeftOut) {
            catalogue.leftOut.push_back({fields[1].toStdString(), fields[2].toStdString()});
            continue;
        }
        const std::optional<std::vector<PictureSize>> sizes = fields.size() == 4 ? sizesOf(fields[3]) : std::nullopt;
        if (!sizes || (fields[0] != kVideo && fields[0] != kAudio))
            return std::nullopt;
        (fields[0] == kVideo ? catalogue.video : catalogue.audio)
            .push_back({fields[1].toStdString(), fields[2].toStdString(), *sizes});
    }
    return std::nullopt;  // cut short
}

bool EncoderCatalogueCache::save(const EncoderCatalogue& catalogue) const
{
    const std::optional<std::string> now = stamp();
    if (!now || !QDir().mkpath(QFileInfo(m_file).absolutePath()))
        return false;
    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out << QString::fromStdString(*now) << '\n';
    for (const auto& [kind, encoders] : {std::pair{kVideo, &catalogue.video}, std::pair{kAudio, &catalogue.audio}})
        for (const EncoderInfo& encoder : *encoders)
            out << kind << '\t' << oneField(encoder.factory) << '\t' << oneField(encoder.longName) << '\t'
                << sizesField(encoder.sizes) << '\n';
    for (const EncoderLeftOut& left : catalogue.leftOut)
        out << kLeftOut << '\t' << oneField(left.factory) << '\t' << oneField(left.reason) << '\n';
    out << kEnd << '\n';
    out.flush();
    return file.commit();
}

EncoderCatalogue EncoderCatalogueCache::keptOrFound() const
{
    if (std::optional<EncoderCatalogue> kept = load())
        return *std::move(kept);
    EncoderCatalogue found = EncoderCatalogue::fromRegistry(EncoderTrialCache(m_trialsFile));
    save(found);  // not kept: made again next time, nothing worse
    return found;
}

}  // namespace capture
