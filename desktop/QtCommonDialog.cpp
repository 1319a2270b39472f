#include "QtCommonDialog.h"

#include <QColor>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>

namespace desktop {

QtCommonDialog::QtCommonDialog(QWidget* owner) : m_owner(owner) {}

void QtCommonDialog::setFilter(const QString& filter) { m_filter = filter; }

QStringList QtCommonDialog::nameFilters(const QString& filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        result << (description.contains(QLatin1Char('(')) ? description
                                                          : description + " (" + patterns + ")");
    }
    return result;
}

QString QtCommonDialog::defaultSuffix(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    if (parts.size() < 2)
        return {};
    const QString pattern = parts[1].section(QLatin1Char(';'), 0, 0).trimmed();
    const QString suffix = pattern.mid(2);
    if (!pattern.startsWith(QLatin1String("*.")) || suffix.contains(QLatin1Char('*'))
        || suffix.contains(QLatin1Char('?')))
        return {};
    return suffix;
}

void QtCommonDialog::showSave()
{
    QFileDialog dialog(m_owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFilters(m_filter));
    dialog.setDefaultSuffix(defaultSuffix(m_filter));
    if (!m_fileName.isEmpty())
        dialog.selectFile(m_fileName);
    m_cancelled = dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty();
    if (!m_cancelled)
        m_fileName = dialog.selectedFiles().constFirst();
}

void QtCommonDialog::showColor()
{
    const QColor initial(static_cast<int>(m_color & 0xff), static_cast<int>((m_color >> 8) & 0xff),
                         static_cast<int>((m_color >> 16) & 0xff));
    const QColor chosen = QColorDialog::getColor(initial, m_owner);
    m_cancelled = !chosen.isValid();
    if (!m_cancelled)
        m_color = static_cast<std::uint32_t>(chosen.red()) | static_cast<std::uint32_t>(chosen.green()) << 8
                  | static_cast<std::uint32_t>(chosen.blue()) << 16;
}

}  // namespace desktop
