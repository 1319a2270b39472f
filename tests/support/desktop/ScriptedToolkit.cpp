#include "ScriptedToolkit.h"

namespace desktop {

void ScriptedCommonDialog::willSave(const QString& fileName) { m_script.push_back({false, fileName, 0}); }
void ScriptedCommonDialog::willColor(std::uint32_t rgb) { m_script.push_back({false, {}, rgb}); }
void ScriptedCommonDialog::willCancel() { m_script.push_back({true, {}, 0}); }

void ScriptedCommonDialog::setFilter(const QString& filter)
{
    m_filter = filter;
    m_events << "filter " + filter;
}

ScriptedCommonDialog::Answer ScriptedCommonDialog::next()
{
    if (m_script.empty())
        return {true, {}, 0};  // an unscripted showing is a cancel
    Answer answer = m_script.front();
    m_script.pop_front();
    return answer;
}

void ScriptedCommonDialog::showSave()
{
    m_events << QStringLiteral("showSave");
    Answer answer = next();
    m_cancelled = answer.cancel;
    if (!m_cancelled)
        m_fileName = answer.fileName;
}

void ScriptedCommonDialog::showColor()
{
    m_events << QStringLiteral("showColor");
    Answer answer = next();
    m_cancelled = answer.cancel;
    if (!m_cancelled)
        m_color = answer.color;
}

namespace {

class RecordedMessageBox : public MessageBox {
public:
    RecordedMessageBox(std::vector<ScriptedToolkit::Message>& messages, QString title)
        : m_messages(messages), m_title(std::move(title))
    {
    }
    void show(const QString& text) override { m_messages.push_back({m_title, text}); }

private:
    std::vector<ScriptedToolkit::Message>& m_messages;
    QString m_title;
};

}  // namespace

std::unique_ptr<CommonDialog> ScriptedToolkit::commonDialog(QWidget*)
{
    auto dialog = std::make_unique<ScriptedCommonDialog>();
    m_dialogs.push_back(dialog.get());
    return dialog;
}

std::unique_ptr<MessageBox> ScriptedToolkit::messageBox(QWidget*, const QString& title)
{
    return std::make_unique<RecordedMessageBox>(m_messages, title);
}

QStringList ScriptedToolkit::messageTexts() const
{
    QStringList texts;
    for (const auto& message : m_messages)
        texts << message.text;
    return texts;
}

}  // namespace desktop
