#pragma once

#include "capture/devices/DeviceControls.h"

#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class QLabel;
class QSocketNotifier;

namespace capture {

// Every control of a device, one tab per control class as the driver names them, in the
// device's order, each edited by the widget its kind calls for and named after its control
// for a screen reader. Follows the device while it is shown: the changes
// it reports (another program's, an automatic mode greying its partner), and the volatile
// values read again a few times a second. A write the device refuses says why beside its
// control and leaves the rest as it was.
//
// Each control's editor is named after its key ("brightness"); its status label after the key
// with "Status" added; an integer's spin box with "Value" added.
class DeviceControlsPanel : public QWidget {
    Q_OBJECT
public:
    explicit DeviceControlsPanel(DeviceControls& controls, QWidget* parent = nullptr);
    ~DeviceControlsPanel() override;

    // Every control back to its default; what the device refused is said beside each.
    void resetToDefaults();

private:
    struct Row;

    QWidget* section(std::vector<const DeviceControl*> controls);
    QWidget* editorFor(Row& row);
    Row* rowFor(std::uint32_t id);
    // Puts what the device has into the row's widgets, writing nothing back.
    void show(Row& row, const DeviceControl& control);
    void write(Row& row, std::int64_t value);
    void writeText(Row& row, const QString& text);
    void written(Row& row, ControlWrite result);
    void refresh(Row& row);
    void followChanges();
    void refreshVolatile();

    DeviceControls& m_controls;
    std::vector<std::unique_ptr<Row>> m_rows;
    std::unique_ptr<QSocketNotifier> m_changes;
    QTimer m_changePoll;       // where the device gives nothing to poll
    int m_emptyWakeups = 0;    // wake-ups of m_changes in a row that found no change
    QTimer m_volatileRefresh;  // values the device changes without telling
};

// "In use by another program or by the running picture." for Busy.
QString writeRefusal(ControlWrite result);

}  // namespace capture
