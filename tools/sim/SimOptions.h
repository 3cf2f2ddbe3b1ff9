#pragma once

#include "Faults.h"
#include "Indicator.h"

#include <QString>
#include <QStringList>

namespace kx::sim {

// Everything the command line sets.
struct SimOptions
{
    QString link;
    Indicator::Config indicator;
    int outputs = 1;
    double startWeight = 0;
    double loadEverySec = WeightModel::DefaultLoadEverySec;
    double driftPerMinute = 0;
    double jitterDivisions = 0;
    quint32 seed = 7400;
    bool noise = false;
    bool split = false;
    bool pace = false;
    int silentAfter = -1;
    QList<Faults::Window> silence;
    int nakEvery = 0;
    bool abortDownloads = false;
    bool silentOnDownload = false;
    qint64 delayMs = 0;
    qint64 storeMs = 0;
    QList<QByteArray> holds; // "[CAL],1=5000": see SetupStore::Hold
    QString logFile;
    bool verbose = false;
};

// Parses the arguments. On --help prints the help and exits 0; on a bad option prints the
// reason and exits 2.
SimOptions parseOptions(const QStringList& arguments);

// The script commands, as --help and the script's "help" command show them.
QString scriptHelp();

} // namespace kx::sim
