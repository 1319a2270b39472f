// The machine's floor for bench_window_map: a Qt Widgets window of a label, a list and a button,
// with no capture control and no GStreamer. What a program takes beyond this is its own.
//
// bench_window_map build/ci/bench/bench_bare_window

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("A bare window")));
    auto* list = new QListWidget;
    list->addItem(QStringLiteral("an entry"));
    layout->addWidget(list);
    layout->addWidget(new QPushButton(QStringLiteral("OK")));
    window.show();
    return app.exec();
}
