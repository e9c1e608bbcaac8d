#include "ctl/CtlOptions.h"

#include "shell/Messages.h"

#include "shell/modGasCommon.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace {

// One command word: its argument count and the command options it takes.
struct CommandEntry {
    const char* name;
    int minArgs;
    int maxArgs;
    const char* argName; // shown in "needs ..." errors
    bool identity;
    bool force;
    bool count;
    bool several; // works on several detectors at once
};

constexpr CommandEntry kCommands[] = {
    {"info", 0, 0, "", false, false, false, true},
    {"read", 1, 1, "a FILE", false, false, false, true},
    {"write", 1, 1, "a FILE", true, true, false, false},
    {"compare", 1, 1, "a MASTER file", false, true, false, true},
    {"provision", 1, 1, "a MASTER file", true, true, false, true},
    {"set-clock", 0, 1, "", false, false, false, false},
    {"zero", 0, 0, "", false, false, false, false},
    {"span", 0, 1, "", false, false, false, false},
    {"watch", 0, 0, "", false, false, true, false},
    {"default", 0, 0, "", false, false, false, false},
    {"clear-log", 0, 0, "", false, false, false, false},
    {"clear-power-log", 0, 0, "", false, false, false, false},
    {"check-data", 0, 0, "", false, false, false, false},
    {"power-off", 0, 0, "", false, false, false, false},
    {"dump-listing", 1, 1, "a FILE", false, false, false, false},
    {"dump-logger", 1, 1, "a FILE", false, false, false, false},
    {"ports", 0, 0, "", false, false, false, false},
    {"register", 1, 1 << 20, "a subcommand", false, false, false, false},
};

// One subcommand of register: its argument count.
struct SubcommandEntry {
    const char* name;
    int minArgs;
    int maxArgs;
    const char* argName;
};

constexpr SubcommandEntry kRegisterSubcommands[] = {
    {"list", 0, 0, ""},         {"show", 1, 1, "a SERIAL number"},
    {"export", 1, 1, "a FILE"}, {"verify", 0, 0, ""},
    {"sync", 0, 0, ""},         {"import", 1, 1 << 20, "at least one FILE"},
};

const SubcommandEntry* FindSubcommand(const QString& word) {
    for (const SubcommandEntry& entry : kRegisterSubcommands)
        if (word == QLatin1String(entry.name)) return &entry;
    return nullptr;
}

const CommandEntry* FindCommand(const QString& word) {
    for (const CommandEntry& entry : kCommands)
        if (word == QLatin1String(entry.name)) return &entry;
    return nullptr;
}

// Options that take a value.
bool TakesValue(const QString& name) {
    static const QStringList names = {QStringLiteral("port"),     QStringLiteral("ir"),
                                      QStringLiteral("sim"),      QStringLiteral("retry"),
                                      QStringLiteral("timeout"),  QStringLiteral("connect-timeout"),
                                      QStringLiteral("folder"),   QStringLiteral("count"),
                                      QStringLiteral("register"), QStringLiteral("due-within")};
    return names.contains(name);
}

// A number written with "." (the command line does not depend on the locale).
bool ReadNumber(const QString& text, double* out) {
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

bool ReadWhole(const QString& text, int* out) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok) return false;
    *out = v;
    return true;
}

// "-5" or "-1.5" is an argument (a value), not an option.
bool LooksNegativeNumber(const QString& arg) {
    static const QRegularExpression re(QStringLiteral("^-[0-9.]"));
    return re.match(arg).hasMatch();
}

// A mode switch of the window program: -DEBUG or -SEIZO anywhere in the word, any case.
bool IsModeSwitch(const QString& arg, bool* debug, bool* factory) {
    const QString upper = arg.toUpper();
    const bool d = upper.contains(QLatin1String("-DEBUG"));
    const bool f = upper.contains(QLatin1String("-SEIZO"));
    if (!d && !f) return false;
    *debug = *debug || d;
    *factory = *factory || f;
    return true;
}

// Most simulated detectors one command line may name.
constexpr int kMaxSimCount = 64;

bool ValidEndpoint(const QString& text) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0) return false;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    return ok && port >= 1 && port <= 65535;
}

} // namespace

int CtlOptions::detectorCount() const {
    if (connection == Connection::Port) return int(std::max<qsizetype>(ports.size(), 1));
    if (connection == Connection::Sim) return int(std::max<qsizetype>(simModels.size(), 1));
    return 1;
}

CtlOptions CtlOptions::forDetector(int index) const {
    CtlOptions one = *this;
    if (connection == Connection::Port && index >= 0 && index < ports.size()) {
        one.port = ports.at(index);
        one.ports = {one.port};
    } else if (connection == Connection::Sim && index >= 0 && index < simModels.size()) {
        one.simModel = simModels.at(index);
        one.simModels = {one.simModel};
    }
    return one;
}

QString CtlOptions::detectorLabel(int index) const {
    if (connection == Connection::Port && index >= 0 && index < ports.size())
        return ports.at(index);
    if (connection == Connection::Sim) return QStringLiteral("sim%1").arg(index + 1);
    if (connection == Connection::Ir) return irEndpoint;
    return QStringLiteral("detector");
}

bool CtlOptions::IsCommand(const QString& word) {
    return FindCommand(word) != nullptr;
}

bool CtlOptions::Parse(const QStringList& arguments, CtlOptions* out, QString* error) {
    CtlOptions o;
    QStringList positional;
    bool optionsEnded = false;
    int kinds = 0; // bit 0: --port, bit 1: --ir, bit 2: --sim

    auto fail = [error](const QString& text) {
        // The sentence quotes what was typed; it stays one line.
        if (error) *error = OneLineText(text);
        return false;
    };

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        if (optionsEnded || !arg.startsWith(u'-') || arg == QLatin1String("-") ||
            LooksNegativeNumber(arg)) {
            positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!arg.startsWith(QLatin1String("--"))) {
            if (arg == QLatin1String("-h")) {
                o.help = true;
                continue;
            }
            if (IsModeSwitch(arg, &o.debugMode, &o.factoryMode)) continue;
            return fail(QStringLiteral("Unknown option \"%1\".").arg(arg));
        }

        QString name = arg.mid(2);
        QString value;
        bool hasValue = false;
        const qsizetype eq = name.indexOf(u'=');
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        if (TakesValue(name)) {
            if (!hasValue) {
                if (i + 1 >= arguments.size())
                    return fail(QStringLiteral("Option --%1 needs a value.").arg(name));
                value = arguments.at(++i);
            }
        } else if (hasValue) {
            return fail(QStringLiteral("Option --%1 takes no value.").arg(name));
        }

        if (name == QLatin1String("port")) {
            if (value.trimmed().isEmpty())
                return fail(QStringLiteral("Option --port needs a device."));
            o.connection = Connection::Port;
            if (o.ports.isEmpty()) o.port = value.trimmed();
            o.ports << value.trimmed();
            kinds |= 1;
        } else if (name == QLatin1String("ir")) {
            if (!ValidEndpoint(value.trimmed()))
                return fail(QStringLiteral("Option --ir needs HOST:PORT, not \"%1\".").arg(value));
            if (!o.irEndpoint.isEmpty())
                return fail(QStringLiteral("Option --ir can be given only once."));
            o.connection = Connection::Ir;
            o.irEndpoint = value.trimmed();
            kinds |= 2;
        } else if (name == QLatin1String("sim")) {
            // "KM" is one simulated detector, "KM:4" four of them.
            QString model = value.trimmed().toUpper();
            int simCount = 1;
            if (const qsizetype colon = model.indexOf(u':'); colon >= 0) {
                if (!ReadWhole(model.mid(colon + 1), &simCount) || simCount < 1 ||
                    simCount > kMaxSimCount)
                    return fail(QStringLiteral("Option --sim needs a count from 1 to %1 after "
                                               "the model, not \"%2\".")
                                    .arg(kMaxSimCount)
                                    .arg(value));
                model = model.left(colon);
            }
            if (model != QLatin1String("KM") && model != QLatin1String("QZ") &&
                model != QLatin1String("VL"))
                return fail(QStringLiteral("Option --sim needs the model KM, QZ or VL, not \"%1\".")
                                .arg(value));
            o.connection = Connection::Sim;
            if (o.simModels.isEmpty()) o.simModel = model;
            for (int n = 0; n < simCount; ++n)
                o.simModels << model;
            kinds |= 4;
        } else if (name == QLatin1String("retry")) {
            int n = 0;
            if (!ReadWhole(value, &n) || n < 0 || n > 100)
                return fail(QStringLiteral("Option --retry needs a whole number from 0 to 100, "
                                           "not \"%1\".")
                                .arg(value));
            o.retry = n;
        } else if (name == QLatin1String("timeout")) {
            double s = 0;
            // The link counts the timeout in 100 ms ticks of a 16-bit counter.
            if (!ReadNumber(value, &s) || s < 0 || s > 3276.0)
                return fail(QStringLiteral("Option --timeout needs seconds from 0 to 3276, "
                                           "not \"%1\".")
                                .arg(value));
            o.timeoutSeconds = s;
        } else if (name == QLatin1String("connect-timeout")) {
            double s = 0;
            if (!ReadNumber(value, &s) || s <= 0 || s > 86400.0)
                return fail(QStringLiteral("Option --connect-timeout needs a number of seconds "
                                           "above 0, not \"%1\".")
                                .arg(value));
            o.connectTimeoutSeconds = s;
        } else if (name == QLatin1String("folder")) {
            if (value.trimmed().isEmpty())
                return fail(QStringLiteral("Option --folder needs a folder."));
            o.folder = value;
        } else if (name == QLatin1String("register")) {
            if (value.trimmed().isEmpty())
                return fail(QStringLiteral("Option --register needs a postgresql:// URL or an "
                                           "SQLite file."));
            o.registerText = value.trimmed();
        } else if (name == QLatin1String("due-within")) {
            int n = 0;
            if (!ReadWhole(value, &n) || n < 0 || n > 36500)
                return fail(QStringLiteral("Option --due-within needs a whole number of days from "
                                           "0 to 36500, not \"%1\".")
                                .arg(value));
            o.dueWithin = n;
        } else if (name == QLatin1String("overdue")) {
            o.overdue = true;
        } else if (name == QLatin1String("count")) {
            int n = 0;
            if (!ReadWhole(value, &n) || n < 1)
                return fail(QStringLiteral("Option --count needs a whole number of 1 or more, "
                                           "not \"%1\".")
                                .arg(value));
            o.count = n;
        } else if (name == QLatin1String("json")) {
            o.json = true;
        } else if (name == QLatin1String("identity")) {
            o.identity = true;
        } else if (name == QLatin1String("force")) {
            o.force = true;
        } else if (name == QLatin1String("certificate")) {
            o.certificate = true;
        } else if (name == QLatin1String("help")) {
            o.help = true;
        } else if (name == QLatin1String("version")) {
            o.version = true;
        } else {
            return fail(QStringLiteral("Unknown option \"--%1\".").arg(name));
        }
    }

    if (kinds != 0 && (kinds & (kinds - 1)) != 0)
        return fail(QStringLiteral("Give at most one of --port, --ir and --sim."));
    if (o.simModels.size() > kMaxSimCount)
        return fail(QStringLiteral("Option --sim names more than %1 simulated detectors.")
                        .arg(kMaxSimCount));

    if (o.help || o.version) {
        *out = o;
        return true;
    }
    if (positional.isEmpty()) return fail(QStringLiteral("No command given."));

    o.command = positional.takeFirst().toLower();
    const CommandEntry* entry = FindCommand(o.command);
    if (!entry) return fail(QStringLiteral("Unknown command \"%1\".").arg(o.command));
    o.arguments = positional;
    if (o.arguments.size() < entry->minArgs)
        return fail(QStringLiteral("The command %1 needs %2.")
                        .arg(o.command, QLatin1String(entry->argName)));
    if (o.arguments.size() > entry->maxArgs)
        return fail(QStringLiteral("Too many arguments for %1: \"%2\".")
                        .arg(o.command, o.arguments.at(entry->maxArgs)));
    if (o.detectorCount() > 1 && !entry->several)
        return fail(QStringLiteral("The command %1 works on one detector at a time; give one "
                                   "--port or --sim.")
                        .arg(o.command));
    if (o.identity && !entry->identity)
        return fail(QStringLiteral("Option --identity belongs to the commands write and provision."));
    if (o.force && !entry->force)
        return fail(QStringLiteral("Option --force belongs to the commands write, compare and "
                                   "provision."));
    if (o.certificate && o.command != QLatin1String("zero") && o.command != QLatin1String("span"))
        return fail(QStringLiteral("Option --certificate belongs to the commands zero and span."));
    if (o.count && !entry->count)
        return fail(QStringLiteral("Option --count belongs to the command watch."));
    if (o.command == QLatin1String("register")) {
        o.subcommand = o.arguments.takeFirst().toLower();
        const SubcommandEntry* sub = FindSubcommand(o.subcommand);
        if (!sub)
            return fail(QStringLiteral("Unknown register command \"%1\"; give list, show, "
                                       "export, verify, sync or import.")
                            .arg(o.subcommand));
        if (o.arguments.size() < sub->minArgs)
            return fail(QStringLiteral("The command register %1 needs %2.")
                            .arg(o.subcommand, QLatin1String(sub->argName)));
        if (o.arguments.size() > sub->maxArgs)
            return fail(QStringLiteral("Too many arguments for register %1: \"%2\".")
                            .arg(o.subcommand, o.arguments.at(sub->maxArgs)));
    }
    if ((o.dueWithin || o.overdue) && o.subcommand != QLatin1String("list"))
        return fail(QStringLiteral("Options --due-within and --overdue belong to the command "
                                   "register list."));
    for (const QString& a : std::as_const(o.arguments))
        if (a.trimmed().isEmpty())
            return fail(QStringLiteral("The command %1 got an empty argument.").arg(o.command));

    if (o.command == QLatin1String("set-clock") && !o.arguments.isEmpty()) {
        const QString text = o.arguments.first().trimmed();
        QDateTime t = QDateTime::fromString(text, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        // The detector keeps a two-digit year.
        if (!t.isValid() || t.date().year() < 2000 || t.date().year() > 2099)
            return fail(QStringLiteral("set-clock needs a date and time YYYY-MM-DDTHH:MM:SS "
                                       "between 2000 and 2099, not \"%1\".")
                            .arg(text));
        o.clockTime = t;
    }
    if (o.command == QLatin1String("span") && !o.arguments.isEmpty()) {
        const QString text = o.arguments.first().trimmed();
        bool ok = false;
        const float v = ParseLocaleNumber(text, &ok);
        if (!ok || v < 0)
            return fail(
                QStringLiteral("span needs a concentration of 0 or more, not \"%1\".").arg(text));
        o.concentration = v;
    }

    *out = o;
    return true;
}

QString CtlOptions::UsageText() {
    return QStringLiteral(
        "Usage: km71ctl [connection] [options] COMMAND [ARGS]\n"
        "\n"
        "Connection (at most one; default: the USB infrared module by hardware id, else the\n"
        "infrared endpoint of the tool configuration):\n"
        "  --port DEVICE            a serial device (also a pseudo-terminal); repeat it for\n"
        "                           several detectors at once\n"
        "  --ir HOST:PORT           the infrared endpoint\n"
        "  --sim KM|QZ|VL[:N]       the simulated detector in this process (N of them)\n"
        "Options:\n"
        "  --retry N                repeats of one request (default: KM71Config.ini, else 3)\n"
        "  --timeout S              reply timeout in seconds (default: KM71Config.ini, else 3)\n"
        "  --connect-timeout S      wait at most S seconds for the detector (default 10)\n"
        "  --folder DIR             folder of the link log and KM71Config.ini (default: the\n"
        "                           current directory)\n"
        "  --register LOCATION      the fleet register: a postgresql://USER@HOST:PORT/DB URL\n"
        "                           or an SQLite file (default: \"Register\" of KM71Config.ini,\n"
        "                           else KM71Fleet.sqlite in the folder)\n"
        "  --json                   machine-readable output\n"
        "  -DEBUG, -SEIZO           debug and factory mode, as the window program\n"
        "  --help, --version\n"
        "Commands:\n"
        "  info                     identity, gas, alarm points and every setting\n"
        "  read FILE                save the detector's configuration file\n"
        "  write FILE [--identity] [--force]\n"
        "                           write a configuration file into the detector\n"
        "  compare MASTER [--force] compare the detector with a master file\n"
        "  provision MASTER [--identity] [--force]\n"
        "                           write only the settings that differ from a master file,\n"
        "                           read again and compare: PASS (exit 0) or FAIL (exit 1),\n"
        "                           with its report as JSON and PDF in the folder; identity\n"
        "                           settings only with --identity\n"
        "  set-clock [YYYY-MM-DDTHH:MM:SS]\n"
        "                           set the detector's clock (default: now)\n"
        "  zero [--certificate]     zero calibration in fresh air\n"
        "  span [CONCENTRATION] [--certificate]\n"
        "                           span calibration with test gas; --certificate writes the\n"
        "                           calibration certificate as JSON and PDF into the folder\n"
        "  watch [--count N]        show the live reading every second\n"
        "  default                  restore the detector's defaults\n"
        "  clear-log                clear the logger data\n"
        "  clear-power-log          clear the power log\n"
        "  check-data               write the check data into the logger memory\n"
        "  power-off                switch the detector off\n"
        "  dump-listing FILE        memory dump as a hex listing\n"
        "  dump-logger FILE         logger memory as a 32 KiB image\n"
        "  ports                    list the serial ports, marking the USB infrared module\n"
        "  register list [--due-within DAYS] [--overdue]\n"
        "                           the detectors on record with their due dates\n"
        "  register show SERIAL     one detector and its events\n"
        "  register export FILE     every detector with its due dates as CSV\n"
        "  register verify          check the chain of events; names the first bad one\n"
        "  register sync            forward the events that wait for the register\n"
        "  register import FILE...  factory record CSV and certificate JSON files\n"
        "Every command that talks to a detector puts its event on record in the register.\n"
        "Several detectors (info, read, compare, provision): each has its own link and runs at the same\n"
        "time; each output line starts with the detector's port (or sim1..simN), --json gives\n"
        "one object with a \"detectors\" array, and read FILE saves one file per detector with\n"
        "its serial number before the extension (FILE_SERIAL.seq).\n"
        "Exit status: 0 success; 1 the operation failed, compare found a difference,\n"
        "provision ended FAIL, the register cannot be reached or its chain is broken;\n"
        "2 usage or file error; 3 no detector connected. With several detectors: 0 when\n"
        "every detector succeeded, else the highest status of any detector.\n");
}
