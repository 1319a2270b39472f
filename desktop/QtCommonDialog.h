#pragma once

#include "CommonDialog.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace desktop {

class QtCommonDialog : public CommonDialog {
public:
    explicit QtCommonDialog(QWidget* owner);

    void setFilter(const QString& filter) override;
    QString filter() const override { return m_filter; }
    void showSave() override;
    QString fileName() const override { return m_fileName; }
    void showColor() override;
    std::uint32_t color() const override { return m_color; }
    bool cancelled() const override { return m_cancelled; }

    // "Avi File (*.avi)|*.avi" as Qt's name filters: {"Avi File (*.avi)"}; the description
    // gets the pattern appended when it does not show it.
    static QStringList nameFilters(const QString& filter);
    // The extension of the first pattern ("avi"), appended to a name typed without one.
    static QString defaultSuffix(const QString& filter);

private:
    QPointer<QWidget> m_owner;
    QString m_filter;
    QString m_fileName;
    std::uint32_t m_color = 0;
    bool m_cancelled = false;
};

}  // namespace desktop
