#include "EncoderTrialCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace capture {
namespace {

const QString kOffered = QStringLiteral("offered");
const QString kRefused = QStringLiteral("refused");

}  // namespace

QString EncoderTrialCache::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/orvex/encoder-trials.tsv");
}

EncoderTrialCache::EncoderTrialCache(QString file) : m_file(std::move(file))
{
    QFile stored(m_file);
    if (!stored.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream lines(&stored);
    while (!lines.atEnd()) {
        const QStringList fields = lines.readLine().split(QLatin1Char('\t'));
        if (fields.size() != 3 || (fields[1] != kOffered && fields[1] != kRefused))
            continue;  // a line cut short by a crash, or not ours
        m_trials[fields[0].toStdString()] = {fields[1] == kOffered, fields[2].toStdString()};
    }
}

std::optional<EncoderTrial> EncoderTrialCache::find(const std::string& key) const
{
    const auto found = m_trials.find(key);
    if (found == m_trials.end())
        return std::nullopt;
    return found->second;
}

void EncoderTrialCache::remember(const std::string& key, EncoderTrial trial)
{
    m_trials[key] = std::move(trial);
}

bool EncoderTrialCache::save() const
{
    if (!QDir().mkpath(QFileInfo(m_file).absolutePath()))
        return false;
    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    for (const auto& [key, trial] : m_trials) {
        QString reason = QString::fromStdString(trial.reason);
        reason.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        out << QString::fromStdString(key) << '\t' << (trial.offered ? kOffered : kRefused) << '\t' << reason << '\n';
    }
    out.flush();
    return file.commit();
}

}  // namespace capture
