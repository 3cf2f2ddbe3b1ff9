#pragma once

#include "link/SerialTypes.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <span>

namespace kx {

// The main port's settings as the port settings dialog holds them: its selections are the
// settings in force, loaded from and saved to Port.Ini in the program's folder. An index of
// -1 means the selector shows no selection.
class PortSettings
{
public:
    // One entry of a selector: the text it shows and what it stands for.
    template <typename T> struct Choice
    {
        const char* text;
        T value;
    };
    // The selectors' lists, each held once: the dialog shows the texts, the line uses the
    // values, and Port.Ini keeps the positions.
    static std::span<const Choice<int>> baudChoices();          // 2400 ... 115200
    static std::span<const Choice<int>> dataBitsChoices();      // 8
    static std::span<const Choice<kx::Parity>> parityChoices(); // Even, None, Odd
    static std::span<const Choice<int>> stopBitsChoices();      // 1, 2
    static std::span<const Choice<int>> modeChoices();          // CONTINUOUS 0, DEMAND 1

    // The selectors' texts, in list order.
    static const QStringList& BaudRates();
    // The position of a baud rate in the list, or -1 when the list has no such rate.
    static int baudIndexOf(int baud);
    // "2400, 4800, ... or 115200": what a message offers.
    static QString baudListText();
    static const QStringList& DataBitsList();
    static const QStringList& Parities();
    static const QStringList& StopBitsList();
    static const QStringList& Modes();
    static const QStringList& AppVersions();

    // The settings of a program folder without Port.Ini.
    static constexpr int DefaultBaudRate = 3; // 19200
    static constexpr int DefaultDataBits = 0;
    static constexpr int DefaultParity = 0; // Even
    static constexpr int DefaultStopBits = 0;
    static constexpr int DefaultMode = 0; // CONTINUOUS
    static constexpr int DefaultAppVersion = 0;
    static constexpr int DefaultCustomOutputs = 1;

    // The highest port number there is; a longer number in Port.Ini selects no port.
    static constexpr int MaxPortNumber = 99999;

    explicit PortSettings(QString folder = {});

    // Settings held in memory only, for a device given by the caller (kxlink-cli's
    // --device): Port.Ini is neither read nor written from now on, and port 1 stands for
    // device (no port is mapped when device is empty).
    void holdInMemory(const QString& device);
    bool inMemory() const { return inMemory_; }
    // Why the last load could not read Port.Ini (a folder in its place, no permission);
    // empty when it was read or there was none.
    const QString& loadFailure() const { return loadFailure_; }

    QString iniPath() const;
    const QString& folder() const { return folder_; }

    // Reads Port.Ini, or creates it with the defaults when it is missing. Failures are
    // swallowed: the selections keep what they were set to.
    void LoadPortSettings();
    // Writes the selections (only those that have one) and keeps every other key of the file
    // where it stands. On failure the file stays as it was and error says which file and why.
    bool SavePortSettings(QString* error = nullptr);

    // The port number that ComNo's text starts with; 0 when it starts with none or with one
    // past MaxPortNumber.
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
    int BaudRate = DefaultBaudRate;
    int DataBits = DefaultDataBits;
    int Parity = DefaultParity;
    int StopBits = DefaultStopBits;
    int Mode = DefaultMode;
    int AppVersion = DefaultAppVersion;
    // Held from the load until the program ends; never written back by the dialog.
    int CustomOutputs = DefaultCustomOutputs;
    // [Advanced] "Backup Before Write" is not 0: a download (and a firmware update) first
    // saves the indicator's setup, so what it held before is never lost with the write.
    bool BackupBeforeWrite = true;
    // [Advanced] "Verify After Write" is not 0: a download is read back and compared.
    bool VerifyAfterWrite = true;

private:
    // The selections kept under "Scale Port", by key, in the order the file holds them.
    struct Field
    {
        const char* key;
        int PortSettings::*selection;
        const QStringList& (*texts)();
        int defaultIndex;
    };
    static std::span<const Field> fields();

    QString folder_;
    QString loadFailure_;
    bool inMemory_ = false;
    QString heldDevice_;
};

} // namespace kx
