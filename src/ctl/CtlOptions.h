#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// The command line of km71ctl, the production-line tool:
//   km71ctl [connection] [options] COMMAND [ARGS]
// Options may stand before or after the command; "--name value" and "--name=value" are both
// accepted, and "--" ends the options. The switches -DEBUG and -SEIZO are matched like those
// of the window program (any letter case, glued text allowed).
class CtlOptions {
public:
    // How the detector is reached.
    enum class Connection {
        Default, // the USB infrared module by hardware id, else the configured infrared endpoint
        Port,    // a serial device (also a pseudo-terminal)
        Ir,      // the infrared endpoint HOST:PORT
        Sim,     // the simulated detector in this process
    };

    // Exit statuses of the tool.
    enum Exit {
        ExitOk = 0,         // success
        ExitFailed = 1,     // the operation failed, or compare found a difference
        ExitUsage = 2,      // usage or file error
        ExitNoDetector = 3, // no detector connected
    };

    Connection connection = Connection::Default;
    QString port;       // --port DEVICE (the first one)
    QString irEndpoint; // --ir HOST:PORT
    QString simModel;   // --sim KM|QZ|VL, upper case (the first one)
    QStringList ports;     // every --port DEVICE, in the order given
    QStringList simModels; // one model per simulated detector ("--sim KM:3" gives three)

    std::optional<int> retry;             // --retry N
    std::optional<double> timeoutSeconds; // --timeout S
    double connectTimeoutSeconds = 10.0;  // --connect-timeout S
    QString folder;                       // --folder DIR (empty: the current directory)
    QString registerText;                 // --register LOCATION (empty: the configured one)
    bool json = false;                    // --json
    bool debugMode = false;               // -DEBUG
    bool factoryMode = false;             // -SEIZO
    bool help = false;                    // --help
    bool version = false;                 // --version

    QString command;                    // the command word, lower case
    QStringList arguments;              // its arguments
    bool identity = false;              // write --identity
    bool force = false;                 // write / compare --force
    bool certificate = false;           // zero / span --certificate
    std::optional<int> count;           // watch --count N
    std::optional<QDateTime> clockTime; // set-clock YYYY-MM-DDTHH:MM:SS (local time)
    std::optional<float> concentration; // span CONCENTRATION
    QString subcommand;                 // register: list, show, export, verify, sync, import
    std::optional<int> dueWithin;       // register list --due-within DAYS
    bool overdue = false;               // register list --overdue

    // Number of detectors the command line names (1 for the default connection and --ir).
    int detectorCount() const;
    // The options of the detector at `index` (0-based) alone: one --port or one --sim.
    CtlOptions forDetector(int index) const;
    // The name of the detector at `index` in output: its port, or "sim1".."simN".
    QString detectorLabel(int index) const;

    // Parses the arguments (without the program name). False with one sentence in `error`
    // when the command line is not valid.
    static bool Parse(const QStringList& arguments, CtlOptions* out, QString* error);

    // True when the command word is one the tool knows.
    static bool IsCommand(const QString& word);

    // The usage text printed by --help and after a usage error.
    static QString UsageText();
};
