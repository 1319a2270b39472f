#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace testsupport {

// What a screen reader meets on a desktop, each of the session's own: an X server, a session
// bus and the accessibility bus (AT-SPI) with its registry; and the tree of accessible objects
// read over that bus, as a screen reader reads it. Everything it starts is stopped with it.
class ScreenReaderSession {
public:
    ScreenReaderSession();
    ~ScreenReaderSession();
    ScreenReaderSession(const ScreenReaderSession&) = delete;
    ScreenReaderSession& operator=(const ScreenReaderSession&) = delete;

    // Why the session could not be had (a missing program, one that did not start); empty
    // when it is ready.
    const QString& unavailable() const { return m_unavailable; }
    // For a program to start in the session: its display and buses, Qt's X11 platform with
    // its accessibility bridge on.
    QProcessEnvironment environment() const;

    // An accessible object: the bus name of its program and its object path.
    struct Accessible {
        QString service;
        QString path;
    };
    // The programs on the bus, as the registry lists them.
    std::vector<Accessible> applications() const;
    std::vector<Accessible> children(const Accessible& parent) const;
    QString name(const Accessible& object) const;
    QString description(const Accessible& object) const;
    // Its first action ("Press" for a button).
    bool act(const Accessible& object) const;
    // The first object under `root` (itself included, depth first) that `wanted` accepts.
    std::optional<Accessible> find(const Accessible& root, const std::function<bool(const Accessible&)>& wanted) const;

private:
    bool startProcess(QProcess& process, const QString& program, const QStringList& arguments, const char* what);
    QString property(const Accessible& object, const char* name) const;

    QProcess m_display;
    QProcess m_sessionBus;
    QProcess m_launcher;
    QString m_displayName;
    QString m_sessionAddress;
    QString m_accessibilityAddress;
    QString m_unavailable;
};

}  // namespace testsupport
