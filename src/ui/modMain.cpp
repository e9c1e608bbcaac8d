#include "ui/modMain.h"

#include "configuration/ToolConfig.h"
#include "link/uclHvif.h"
#include "sim/SimDetector.h"
#include "sim/SimTransport.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace modMain {

namespace {

// Options that take a value, and where it goes.
QString* ValueSlot(StartupOptions& o, const QString& name) {
    if (name == QLatin1String("--port")) return &o.port;
    if (name == QLatin1String("--ir")) return &o.ir;
    if (name == QLatin1String("--sim")) return &o.sim;
    if (name == QLatin1String("--folder")) return &o.folder;
    if (name == QLatin1String("--lang")) return &o.lang;
    if (name == QLatin1String("--password")) return &o.password;
    if (name == QLatin1String("--screenshot")) return &o.screenshot;
    return nullptr;
}

} // namespace

StartupOptions ParseArguments(const QStringList& arguments) {
    StartupOptions o;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        // "--name=value" and "--name value" are both accepted.
        QString name = arg;
        QString value;
        bool inlineValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(u'=')) {
            name = arg.section(u'=', 0, 0);
            value = arg.section(u'=', 1);
            inlineValue = true;
        }
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            o.help = true;
            continue;
        }
        if (name == QLatin1String("--no-splash")) {
            o.noSplash = true;
            continue;
        }
        if (QString* slot = ValueSlot(o, name)) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) {
                    o.error = QStringLiteral("The option %1 needs a value.").arg(name);
                    return o;
                }
                value = arguments.at(++i);
            }
            *slot = value;
            continue;
        }
        // Anything else belongs to the original command line (mode switches and the like).
        o.switchArguments << arg;
    }
    o.sim = o.sim.toUpper();
    o.lang = o.lang.toUpper();
    if (!o.sim.isEmpty() && o.sim != QLatin1String("KM") && o.sim != QLatin1String("QZ") &&
        o.sim != QLatin1String("VL"))
        o.error = QStringLiteral("--sim takes KM, QZ or VL, not \"%1\".").arg(o.sim);
    else if (!o.lang.isEmpty() && o.lang != QLatin1String("EN") && o.lang != QLatin1String("JP"))
        o.error = QStringLiteral("--lang takes EN or JP, not \"%1\".").arg(o.lang);
    else if (!o.sim.isEmpty() && (!o.port.isEmpty() || !o.ir.isEmpty()))
        o.error = QStringLiteral("--sim cannot be combined with --port or --ir.");
    else if (!o.folder.isEmpty() && !QFileInfo(o.folder).isDir())
        o.error = QStringLiteral("The folder \"%1\" does not exist.").arg(o.folder);
    return o;
}

QString UsageText() {
    return QStringLiteral(
        "Usage: km71setup [-DEBUG] [-SEIZO] [options]\n"
        "  -DEBUG              debug mode (any letter case, anywhere on the line)\n"
        "  -SEIZO              factory mode (any letter case, anywhere on the line)\n"
        "  --port DEVICE       use this serial device (also a pseudo-terminal) for the module\n"
        "  --ir HOST:PORT      infrared link endpoint (default: the tool configuration's)\n"
        "  --sim KM|QZ|VL      talk to a simulated detector of that model in this process\n"
        "  --folder DIR        folder of the tool configuration, logs and records\n"
        "                      (default: the current directory)\n"
        "  --lang EN|JP        language of the windows (default: the system's)\n"
        "  --no-splash         skip the opening form\n"
        "  --password TEXT     enter TEXT into the password dialog at once\n"
        "  --screenshot FILE   wait for the detector, read it, save the main window as a PNG\n"
        "                      image and end (for documentation)\n"
        "  --help              this text\n");
}

std::unique_ptr<uclHvif> MakeSimulatedLink(const QString& model, std::unique_ptr<LinkClock> clock) {
    auto link = std::make_unique<uclHvif>(std::move(clock));
    // The detector is a child of the link and goes after the link's transports.
    auto* detector = new SimDetector(model, link.get());
    link->setSerialTransport(std::make_unique<SimTransport>(detector, link->clock()));
    // No hardware lookup: the simulated line is the module's port.
    link->setPortLister([](const QString&) { return QList<SerialPortEntry>{}; });
    return link;
}

std::unique_ptr<uclHvif> MakeLink(const StartupOptions& options, const QString& folder,
                                  QString* error) {
    if (!options.sim.isEmpty()) return MakeSimulatedLink(options.sim, nullptr);
    auto link = std::make_unique<uclHvif>();
    if (!options.port.isEmpty()) link->setPortOverride(options.port);
    const QString endpoint =
        options.ir.isEmpty() ? ReadToolLinkSettings(folder).IrdaEndpoint : options.ir;
    if (!endpoint.isEmpty() && !link->setIrdaEndpoint(endpoint)) {
        if (error)
            *error = QStringLiteral("\"%1\" is not an infrared endpoint HOST:PORT.").arg(endpoint);
        return nullptr;
    }
    return link;
}

QString InstanceLockPath() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    if (user.isEmpty()) user = QStringLiteral("user");
    user.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("km71setup-%1.lock").arg(user));
}

} // namespace modMain
