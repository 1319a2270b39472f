#include "desktop/CheckBox.h"
#include "desktop/Controls.h"
#include "desktop/FailureReporter.h"
#include "desktop/Fonts.h"
#include "desktop/QtCommonDialog.h"
#include "desktop/Twips.h"
#include "tests/support/desktop/ScriptedToolkit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace desktop;

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void twipsBecomePixels()
    {
        QCOMPARE(twipsToPixels(15), 1);
        QCOMPARE(twipsToPixels(8250), 550);
        QCOMPARE(twipsToPixels(3855), 257);
        QCOMPARE(twipsToPixels(7), 0);
        QCOMPARE(twipsToPixels(8), 1);  // rounds to the nearest pixel
        QCOMPARE(twipsRect(1680, 120, 3855, 315), QRect(112, 8, 257, 21));
    }

    void tabChainPassesOverLabels()
    {
        // Built in the reverse of the Tab order, so only the chain can put the controls right;
        // a label between two controls must not break the chain there.
        QWidget window;
        auto* f = placed(new QPushButton(&window), "f", 0, 0, 1095, 375);
        auto* e = placed(new QLineEdit(&window), "e", 0, 0, 1095, 375);
        auto* lateLabel = placed(new QLabel(&window), "lateLabel", 0, 0, 1095, 375);
        auto* d = placed(new QCheckBox(&window), "d", 0, 0, 1095, 375);
        auto* c = placed(new QComboBox(&window), "c", 0, 0, 1095, 375);
        auto* label = placed(new QLabel(&window), "label", 0, 0, 1095, 375);
        auto* b = placed(new QPushButton(&window), "b", 0, 0, 1095, 375);
        auto* a = placed(new QPushButton(&window), "a", 1680, 120, 3855, 315);
        QCOMPARE(a->objectName(), QString("a"));
        QCOMPARE(a->geometry(), twipsRect(1680, 120, 3855, 315));

        chainTabOrder({a, b, label, c, d, lateLabel, e, f});

        QStringList visited;
        QWidget* control = a;
        do {
            if (control->parentWidget() == &window && (control->focusPolicy() & Qt::TabFocus))
                visited << control->objectName();
            control = control->nextInFocusChain();
        } while (control != a);
        QCOMPARE(visited, (QStringList{"a", "b", "c", "d", "e", "f"}));
    }

    void selectedTextIsThePickedEntryOnly()
    {
        QComboBox list;
        QCOMPARE(selectedText(&list), QString());
        list.setEditable(true);
        list.setInsertPolicy(QComboBox::NoInsert);
        list.addItems({"Composite", "S-Video"});
        list.setCurrentIndex(1);
        list.setEditText("Tuner");  // typed over the picked entry
        QCOMPARE(list.currentText(), QString("Tuner"));
        QCOMPARE(selectedText(&list), QString("S-Video"));

        list.setCurrentIndex(-1);
        list.setEditText("Composite");  // the name of an entry, typed but not picked
        QCOMPARE(selectedText(&list), QString());
    }

    // Where a layout's family is missing, the font is of an installed family of similar widths,
    // and that is the font in use: nothing substitutes it behind the program's back.
    void fontsAreTheLayoutsFamiliesOrTheirStandIns()
    {
        const struct {
            QFont font;
            const char* layoutFamily;
            const char* standIn;
            double points;
        } fonts[] = {
            {dialogFont(), "MS Sans Serif", "Liberation Sans", 8.25},
            {tahoma(), "Tahoma", "DejaVu Sans Condensed", 8.25},
            {verdanaSmall(), "Verdana", "DejaVu Sans", 6.75},
        };
        for (const auto& expected : fonts) {
            const bool installed = QFontDatabase::hasFamily(expected.layoutFamily);
            QCOMPARE(expected.font.family(), QString(installed ? expected.layoutFamily : expected.standIn));
            QCOMPARE(QFontInfo(expected.font).family(), expected.font.family());
            QCOMPARE(expected.font.pointSizeF(), expected.points);
            QVERIFY(!expected.font.bold() && !expected.font.italic());
        }
        QCOMPARE(standInFamily("No Such Family"), QString("No Such Family"));
    }

    void wrappedCheckBoxTakesClicksOnItsSecondLine()
    {
        QWidget window;
        auto* box = placed(new CheckBox(QStringLiteral("Use Audio Compressor when Capture"), &window), "box", 0, 0,
                           2535, 375);
        box->setFont(verdanaSmall());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() / 2, box->height() - 3));
        QVERIFY(box->isChecked());
    }

    void saveFilterForQt()
    {
        QCOMPARE(QtCommonDialog::nameFilters("Avi File (*.avi)|*.avi"), QStringList{"Avi File (*.avi)"});
        QCOMPARE(QtCommonDialog::nameFilters("Pictures|*.bmp;*.png|All|*.*"),
                 (QStringList{"Pictures (*.bmp *.png)", "All (*.*)"}));
        QCOMPARE(QtCommonDialog::defaultSuffix("Avi File (*.avi)|*.avi"), QString("avi"));
        QCOMPARE(QtCommonDialog::defaultSuffix("All|*.*"), QString());
        QCOMPARE(QtCommonDialog::defaultSuffix(""), QString());
    }

    void scriptedDialogKeepsItsNameAcrossCancels()
    {
        ScriptedToolkit toolkit;
        auto dialog = toolkit.commonDialog(nullptr);
        toolkit.dialog(0).willSave("/tmp/a.avi");
        toolkit.dialog(0).willCancel();
        dialog->setFilter("Avi File (*.avi)|*.avi");
        dialog->showSave();
        QVERIFY(!dialog->cancelled());
        dialog->showSave();
        QVERIFY(dialog->cancelled());
        QCOMPARE(dialog->fileName(), QString("/tmp/a.avi"));
        QCOMPARE(toolkit.dialog(0).events(),
                 (QStringList{"filter Avi File (*.avi)|*.avi", "showSave", "showSave"}));
        dialog->showColor();  // unscripted: cancelled, colour stays black
        QCOMPARE(dialog->color(), 0u);
    }

    void failureShowsTheErrorDestroysTheWindowAndEnds()
    {
        ScriptedToolkit toolkit;
        int endedWith = -1;
        FailureReporter reporter(toolkit, "ostrel", [&](int status) { endedWith = status; });
        QPointer<QWidget> window = new QWidget;
        int runs = 0;
        auto handler = guarded(reporter, window, [&] {
            ++runs;
            throw std::runtime_error("Device lost");
        });
        handler();
        QCOMPARE(endedWith, 1);
        QVERIFY(reporter.failed());
        QCOMPARE(toolkit.messages().size(), size_t(1));
        QCOMPARE(toolkit.messages()[0].title, QString("ostrel"));
        QVERIFY(toolkit.messages()[0].text.contains("Device lost"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        // Events still queued after the failure do not run handlers again.
        handler();
        QCOMPARE(runs, 1);
        QCOMPARE(toolkit.messages().size(), size_t(1));
    }

    void handlerWithoutFailureRunsQuietly()
    {
        ScriptedToolkit toolkit;
        FailureReporter reporter(toolkit, "ostrel", [](int) { QFAIL("must not end"); });
        QWidget window;
        bool ran = false;
        guarded(reporter, &window, [&] { ran = true; })();
        QVERIFY(ran);
        QVERIFY(!reporter.failed());
        QVERIFY(toolkit.messages().empty());
    }
};

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
