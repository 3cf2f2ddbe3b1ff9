#pragma once

// The indicator simulator on a pseudo-terminal, for the tests that drive a window or a line
// against it, and the Port.Ini that maps port 1 to it. KX_SIM_PATH is the test's own.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

namespace kx::test {

// Starts the simulator with its link at link and the arguments after; true once the link is
// there (a busy machine may take a while to make it).
inline bool startSimulator(QProcess& sim, const QString& link, const QStringList& arguments)
{
    sim.setProgram(QStringLiteral(KX_SIM_PATH));
    sim.setArguments(QStringList{QStringLiteral("--link"), link} + arguments);
    sim.start();
    return sim.waitForStarted(5000) &&
           QTest::qWaitFor([&link] { return QFile::exists(link); }, 5000);
}

// Port.Ini in folder: the sections given, then port 1 mapped to link.
inline bool writePortIni(const QString& folder, const QString& link, const QByteArray& sections)
{
    QFile ini(QDir(folder).filePath(QStringLiteral("Port.Ini")));
    const QByteArray text = sections + "[Devices]\r\n1=" + link.toLocal8Bit() + "\r\n";
    return ini.open(QIODevice::WriteOnly | QIODevice::Truncate) && ini.write(text) == text.size() &&
           ini.flush();
}

} // namespace kx::test
