#include <QProcess>
#include <QtTest>

// Runs the program around a failing control in its own process: the user is shown the error,
// the window goes away and the process ends with status 1.
class FailurePathTest : public QObject {
    Q_OBJECT

private slots:
    void failureIsShownAndEndsTheProcess_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("windowShown");

        QTest::newRow("inside a click") << "start" << "The device stopped answering" << true;
        QTest::newRow("at start-up") << "load" << "Video devices cannot be listed" << true;
        QTest::newRow("making the control") << "factory" << "No capture device could be opened" << false;
    }

    void failureIsShownAndEndsTheProcess()
    {
        QFETCH(QString, mode);
        QFETCH(QString, error);
        QFETCH(bool, windowShown);

        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        probe.setProcessEnvironment(environment);
        probe.start(QStringLiteral(OSTREL_FAILURE_PROBE), {mode});
        QVERIFY2(probe.waitForFinished(90000), "the probe did not end");

        const QString output = QString::fromLocal8Bit(probe.readAllStandardOutput());
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QVERIFY2(probe.exitCode() == 1, qPrintable(output));

        const QStringList messages = output.split('\n').filter("MESSAGE ");
        QVERIFY2(messages.size() == 1, qPrintable(output));
        QVERIFY2(messages[0].startsWith("MESSAGE [ostrel] "), qPrintable(output));
        QVERIFY2(messages[0].contains(error), qPrintable(output));
        if (windowShown)
            QVERIFY2(output.contains("WINDOW destroyed"), qPrintable(output));
        QVERIFY2(output.contains("EXIT 1"), qPrintable(output));
    }
};

QTEST_MAIN(FailurePathTest)
#include "FailurePathTest.moc"
