#pragma once

#include "desktop/Toolkit.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace desktop {

// A common dialog that answers from a script and remembers what it was asked.
class ScriptedCommonDialog : public CommonDialog {
public:
    // The next showing ends with this file name or colour, or cancelled.
    void willSave(const QString& fileName);
    void willColor(std::uint32_t rgb);
    void willCancel();

    void setFilter(const QString& filter) override;
    QString filter() const override { return m_filter; }
    void showSave() override;
    QString fileName() const override { return m_fileName; }
    void showColor() override;
    std::uint32_t color() const override { return m_color; }
    bool cancelled() const override { return m_cancelled; }

    // "filter <text>", "showSave", "showColor", in order.
    const QStringList& events() const { return m_events; }

private:
    struct Answer {
        bool cancel = false;
        QString fileName;
        std::uint32_t color = 0;
    };
    Answer next();

    std::deque<Answer> m_script;
    QStringList m_events;
    QString m_filter;
    QString m_fileName;
    std::uint32_t m_color = 0;
    bool m_cancelled = false;
};

// Hands out scripted dialogs and records every message box.
class ScriptedToolkit : public Toolkit {
public:
    struct Message {
        QString title;
        QString text;
    };

    std::unique_ptr<CommonDialog> commonDialog(QWidget* owner) override;
    std::unique_ptr<MessageBox> messageBox(QWidget* owner, const QString& title) override;

    // The dialogs in the order windows asked for them; owned by those windows.
    ScriptedCommonDialog& dialog(size_t index) { return *m_dialogs.at(index); }
    const std::vector<Message>& messages() const { return m_messages; }
    QStringList messageTexts() const;
    void clearMessages() { m_messages.clear(); }

private:
    std::vector<ScriptedCommonDialog*> m_dialogs;
    std::vector<Message> m_messages;
};

}  // namespace desktop
