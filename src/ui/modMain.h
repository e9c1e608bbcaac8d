#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class uclHvif;
class LinkClock;

// The window program's entry: its command line, the single-instance lock and the link it
// builds for the main window.
namespace modMain {

// What the command line asks for.
struct StartupOptions {
    QString port;          // --port DEVICE: serial device instead of the module lookup
    QString ir;            // --ir HOST:PORT: infrared endpoint
    QString sim;           // --sim KM|QZ|VL: the in-process simulated detector
    QString folder;        // --folder DIR: start-up folder instead of the current directory
    QString lang;          // --lang EN|JP: message table
    QString password;      // --password TEXT: entered into the password dialog at once
    QString screenshot;    // --screenshot FILE: grab the main window to a PNG file and end
    bool noSplash = false; // --no-splash: skip the opening form
    bool help = false;     // --help
    // Every other argument: the mode switches ("-DEBUG", "-SEIZO") are looked for in these.
    QStringList switchArguments;
    // One sentence when the command line is not usable (empty otherwise).
    QString error;
};

// Parses the arguments after the program name.
StartupOptions ParseArguments(const QStringList& arguments);

// The usage text of the options.
QString UsageText();

// Builds the link the main window gets: the simulated detector on real time for --sim, a given
// serial device for --port, an infrared endpoint for --ir (or the one of the tool configuration
// in `folder`), the module lookup otherwise. Null with `error` set when an option is unusable.
std::unique_ptr<uclHvif> MakeLink(const StartupOptions& options, const QString& folder,
                                  QString* error = nullptr);

// The same for the simulated detector of `model` on a given clock (owned by the link).
std::unique_ptr<uclHvif> MakeSimulatedLink(const QString& model, std::unique_ptr<LinkClock> clock);

// The lock file that marks a running instance of the program for the current user.
QString InstanceLockPath();

} // namespace modMain
