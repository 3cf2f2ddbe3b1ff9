#pragma once

#include "link/SerialTypes.h"

#include <QDir>
#include <QString>
#include <QStringList>

namespace kx {

// The main port's settings as the port settings dialog holds them: its selections are the
// settings in force, loaded from and saved to Port.Ini in the program's folder. An index of
// -1 means the selector shows no selection.
class PortSettings
{
public:
    static const QStringList& BaudRates();    // "2400" ... "115200"
    static const QStringList& DataBitsList(); // "8"
    static const QStringList& Parities();     // "Even", "None", "Odd"
    static const QStringList& StopBitsList(); // "1", "2"
    static const QStringList& Modes();        // "CONTINUOUS", "DEMAND"
    static const QStringList& AppVersions();

    explicit PortSettings(QString folder = {});

    QString iniPath() const;
    const QString& folder() const { return folder_; }

    // Reads Port.Ini, or creates it with the defaults when it is missing. Failures are
    // swallowed: the selections keep what they were set to.
    void LoadPortSettings();
    // Writes the selections (only those that have one) and keeps every other key of the file
    // where it stands. On failure the file stays as it was and error says which file and why.
    bool SavePortSettings(QString* error = nullptr);

    // The port number that ComNo's text starts with; 0 when it starts with none.
    int portNumber() const;
    LineSettings lineSettings() const;
    // 1 for DEMAND, 0 for CONTINUOUS.
    int portMode() const { return Mode == 1 ? 1 : 0; }

    // The device a port number is mapped to in Port.Ini's "Devices" section, or empty.
    QString mappedDevice(int port) const;
    // The device the port number stands for: its mapping, or the platform's own name.
    QString devicePathFor(int port) const;
    // Records (or, with an empty path, removes) a port number's device in Port.Ini.
    bool setMappedDevice(int port, const QString& path, QString* error = nullptr);

    // The dialog's selections.
    QString ComNo = QStringLiteral("0");
    int BaudRate = 3;
    int DataBits = 0;
    int Parity = 0;
    int StopBits = 0;
    int Mode = 0;
    int AppVersion = 0;
    // Held from the load until the program ends; never written back by the dialog.
    int CustomOutputs = 1;

private:
    QString folder_;
};

} // namespace kx
