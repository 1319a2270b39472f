#include "FailureReporter.h"

#include <QCoreApplication>

namespace desktop {

FailureReporter::FailureReporter(Toolkit& toolkit, QString title, EndProgram endProgram)
    : m_toolkit(toolkit), m_title(std::move(title)), m_endProgram(std::move(endProgram))
{
    if (!m_endProgram)
        m_endProgram = [](int status) { QCoreApplication::exit(status); };
}

void FailureReporter::report(QWidget* window, const QString& error)
{
    if (m_failed)
        return;
    m_failed = true;
    if (window)
        window->hide();
    m_toolkit.messageBox(nullptr, m_title)
        ->show(QStringLiteral("%1\n\n%2 has to close.").arg(error, m_title));
    if (window)
        window->deleteLater();
    m_endProgram(ExitStatus);
}

}  // namespace desktop
