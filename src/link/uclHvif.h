#pragma once

#include "link/Frame.h"
#include "link/LinkClock.h"
#include "link/LinkCodes.h"
#include "link/LinkEngine.h"
#include "link/LinkEngineHost.h"
#include "link/LinkTransport.h"
#include "link/PortLookup.h"
#include "link/ResponseParser.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

class clsInstrument;
class DumpListing;

// The instrument link: owns the serial and the infrared transport through which the program
// reaches one detector, frames and exchanges requests, supervises the connection with a 100 ms
// tick, decodes replies into the record it holds (`Instrument`) and keeps the link log.
//
// Callers work synchronously: an operation sets `Status`, sends, and waits while the event loop
// runs (Exchange / WaitWhileStatus). Waiting blocks in the event loop and never spins; with a
// VirtualClock the same waits run in virtual time.
//
// Port numbers are those of PortLookup.h: the USB infrared module found by its hardware id, or
// the device given with setPortOverride(), is registered under a number, and CommPort = that
// number opens that device.
class uclHvif : public QObject, private LinkEngineHost {
    Q_OBJECT
public:
    // Hardware id of the USB infrared module.
    static constexpr const char* kModuleHardwareId = "VID_10C4&PID_EA60";
    // Number of entries of the read-command table (entry 53 is never used).
    static constexpr int kReadCommandCount = 54;
    // Bound of the confirm and poll loops of the operations (5 minutes).
    static constexpr qint64 kPollLoopBoundMs = 5 * 60 * 1000;

    // Outcome of one round of a confirm or poll loop.
    enum class PollStep { Done, Again, Failed };

    // Chooses one of several USB modules: gets the port names ("COM33", ...) in lookup order and
    // returns the chosen index, or a negative value when no choice was made.
    using PortChooser = std::function<int(const QStringList& names)>;
    // Lists the serial ports that carry a hardware id.
    using PortLister = std::function<QList<SerialPortEntry>(const QString& hardwareId)>;

    // A link on real time (EventLoopClock) unless a clock is given; the link owns the clock.
    explicit uclHvif(std::unique_ptr<LinkClock> clock = nullptr, QObject* parent = nullptr);
    ~uclHvif() override;

    // ---- Settings ----

    // Enables the component as a whole.
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool on) { m_enabled = on; }
    // Port number of the active transport.
    qint16 CommPort() const;
    // Sets the serial component's port number (whichever transport is active).
    void setCommPort(qint16 port);
    // Settings text ("9600,n,8,1") of the active transport.
    QString Settings() const;
    // Sets the active transport's settings; false (nothing changed) for an invalid text.
    bool setSettings(const QString& text);
    // DTR line of the active transport.
    bool DTREnable() const;
    void setDTREnable(bool on);
    // RTS line of the active transport.
    bool RTSEnable() const;
    void setRTSEnable(bool on);
    // Flow control of the active transport (0 none, 2 RTS/CTS).
    qint16 Handshaking() const;
    void setHandshaking(qint16 mode);
    // Open state of the active transport.
    bool PortOpen() const;
    // Opens or closes the active transport; a port that cannot be opened is left closed quietly.
    void setPortOpen(bool open);
    // Why the serial component could not be opened the last time (empty after success).
    QString lastOpenError() const;
    // True forces the serial component; false selects the infrared one when it is available.
    bool SerialComm() const { return m_serialComm; }
    void setSerialComm(bool on) { m_serialComm = on; }
    // Reply timeout in seconds.
    qint16 Timeout() const;
    // Sets the reply timeout; false (nothing changed) when ten times the value overflows 16 bits.
    bool setTimeout(int seconds);
    // Repeats allowed for one request, and number of connect probes.
    qint16 Retry() const { return m_engine.Retry(); }
    void setRetry(qint16 retry) { m_engine.setRetry(retry); }
    // Set by the link when a binary dump block timed out.
    bool BinaryRetry() const { return m_engine.BinaryRetry(); }
    void setBinaryRetry(bool on) { m_engine.setBinaryRetry(on); }
    // Host request to abandon the running exchange.
    bool Cancel() const { return m_engine.Cancel(); }
    void setCancel(bool on) { m_engine.setCancel(on); }
    // Exchange status (LinkCodes.h).
    qint32 Status() const { return m_engine.Status(); }
    void setStatus(qint32 status) { m_engine.setStatus(status); }
    // True while the link is connected (LinkState 3).
    bool Connected() const { return m_engine.Connected(); }
    // Runs or stops the 100 ms supervision.
    bool TimerEnabled() const;
    void setTimerEnabled(bool on);
    // File that receives a binary dump.
    QString BinDumpPath() const { return m_binDumpPath; }
    void setBinDumpPath(const QString& path);
    // Five values kept for the host (index 0..4); an index outside gives ok = false.
    qint32 FactCal(int index, bool* ok = nullptr) const;
    // False for an index outside 0..4.
    bool setFactCal(int index, qint32 value);
    // The record replies are decoded into.
    clsInstrument* Instrument() const { return m_instrument; }
    // Sets the record; a null pointer is ignored (use clearInstrument()).
    void setInstrument(clsInstrument* record);
    // Lets go of the record.
    void clearInstrument() { m_instrument = nullptr; }
    // Accepted and ignored.
    void setSystemBlock(qint32 value) { Q_UNUSED(value); }
    // Cleared when a frame is sent, set when data arrives.
    bool RxSinceSend() const { return m_engine.RxSinceSend(); }
    // 0 off-line, 2 connecting, 3 connected.
    qint32 LinkState() const { return m_engine.LinkState(); }

    // Serial settings used for the USB module (process-wide, "921600,n,8,1" by default).
    static QString CommSettings();
    static void setCommSettings(const QString& settings);
    // Port number of the USB module chosen by the last lookup (process-wide, 0 when none).
    static qint16 IrCommPort();

    // ---- Transports ----

    // Uses a device (any serial device, a pseudo-terminal) as the USB module's port instead of
    // the hardware lookup; empty text restores the lookup.
    void setPortOverride(const QString& device);
    QString portOverride() const { return m_portOverride; }
    // Sets the infrared endpoint "HOST:PORT" (empty: none); false for an invalid text or when
    // the infrared transport has no endpoint.
    bool setIrdaEndpoint(const QString& hostPort);
    // Replaces the serial component (the old one is closed, its settings carry over); the link
    // owns it.
    void setSerialTransport(std::unique_ptr<LinkTransport> transport);
    // Replaces the infrared component (the old one is closed, its settings carry over); the link
    // owns it.
    void setInfraredTransport(std::unique_ptr<LinkTransport> transport);
    LinkTransport* serialTransport() const { return m_serial.get(); }
    LinkTransport* infraredTransport() const { return m_infrared.get(); }
    // The transport that reads and writes act on now.
    LinkTransport* activeTransport() const;
    // True when the infrared component is the active transport.
    bool InfraredActive() const;
    // Decides which module port to use (several modules found); without one the first is taken.
    void setPortChooser(PortChooser chooser) { m_chooser = std::move(chooser); }
    // Replaces the serial port lister (the default asks QSerialPortInfo).
    void setPortLister(PortLister lister);

    // Finds the USB module and opens the link: serial at CommSettings with RTS/CTS when found,
    // otherwise the infrared component when available. True when the module was found.
    bool DetectIrdaModule();
    // Port number of the serial port with a hardware id (0 when none; with several, the
    // chooser decides); also remembered as IrCommPort.
    qint16 FindPortByHardwareId(const QString& hardwareId);
    // Sets Status 2 and TickCount 0; returns false. Ports and LinkState are left alone.
    bool DisConnect();

    // ---- Read-command table ----

    // Command text of entry index (empty for the unused entries and outside 0..53).
    QString ReadCommand(int index) const;
    // Flag of entry index.
    bool ReadCommandFlag(int index) const;
    void setReadCommandFlag(int index, bool on);

    // ---- Frames, exchange and log ----

    // STX + "0001" + text + ETX + checksum + terminator.
    static QByteArray BuildFrame(const QByteArray& text, char terminator = Ctl::EOT);
    // Sends one complete frame on the active transport and logs it.
    void DataSend(const QByteArray& frame, bool resetRetries);
    // Appends one line to the link log.
    void AddLog(const QString& text);
    // Starts every link log line of this link with "[tag] " (several links sharing one log).
    void setLogTag(const QString& tag) { m_logTag = tag; }
    // Sends a request framed with EOT (retries reset) with Status = waitStatus and waits while
    // Status keeps that value; true when the exchange completed (Status 6).
    bool Exchange(const QByteArray& text, int waitStatus);
    // Waits, processing events, while Status equals status. Without supervision to end it (not
    // connected, timer stopped) the wait gives up after a long quiet spell and sets Status 7.
    // False when it gave up; also false, at once, when called inside another wait.
    bool WaitWhileStatus(int status);
    // Sets TickCount to 0 and waits until it reaches ticks (bounded in time).
    void WaitTicks(int ticks);
    // Waits whole seconds; false when Cancel was set meanwhile.
    bool WaitSeconds(int seconds);
    // Runs attempt until it reports Done or Failed; stops, failed, when Cancel is set or after
    // boundMs of clock time. True when done.
    bool RunPollLoop(const std::function<PollStep()>& attempt, qint64 boundMs = kPollLoopBoundMs);
    // True while a wait of this link is running.
    bool IsWaiting() const { return m_waitDepth > 0; }

    // The clock of this link.
    LinkClock* clock() const { return m_clock.get(); }
    // The exchange engine (status, counters, buffers).
    LinkEngine& engine() { return m_engine; }
    const LinkEngine& engine() const { return m_engine; }
    // Decoder state shared with the operations (status texts, confirm flag, dump hook).
    ReplyContext& replyContext() { return m_ctx; }
    // The last frame the link received and handed to the decoder (complete with framing).
    const QByteArray& LastReceivedFrame() const { return m_lastReceivedFrame; }
    // Result flag of the operations.
    bool OpResult() const { return m_opResult; }
    void setOpResult(bool on) { m_opResult = on; }

    // ---- Whole-detector transfers, maintenance and dumps ----

    // Clears record and reads the whole configuration of the detector into it, skipping what
    // the model does not have; true when every command sent was answered. The link keeps
    // record as its Instrument.
    bool GetInstrument(clsInstrument& record);
    // Writes the flagged settings of record into the detector and commits them with "DW,W,";
    // true when every exchange succeeded, something was written and every alarm level and
    // calibration concentration was echoed back unchanged.
    bool SetInstrument(clsInstrument& record);
    // Names of the settings the last SetInstrument sent but the detector never echoed back
    // unchanged ("Warning", "Alarm", "AutoCalib"); their change flags stay raised.
    QStringList NotWrittenSettings() const { return m_notWritten; }
    // The two-letter commands of the writes `record` still has flagged, in the order
    // SetInstrument sends them: after a failed write, what did not reach the detector.
    static QStringList PendingWrites(const clsInstrument& record);

    // Starts a zero calibration with parameter p and polls until the detector has finished;
    // false on a failed exchange, Cancel, or after kPollLoopBoundMs.
    bool ZeroCal(const QString& p);
    // True when the last zero status is the single character "0" and index is 0.
    bool ZeroStatus(int index) const;
    // Starts a span calibration; the request text is only kept by the caller. True when the
    // detector answered.
    bool SpanCal(const QString& request);
    // True when the last span status is the single character "0" and index is 0.
    bool SpanStatus(int index) const;
    // Sends an oxygen zero calibration value; true when the detector answered with a result.
    bool zCal(const QString& value);
    // True while the concentration is polled every second.
    bool RunDensty() const { return m_denstyRunning; }
    // Starts or stops the concentration polling (stopping waits for an outstanding reading).
    void setRunDensty(bool on);
    // Reads the calibration gas concentration into record; on failure it holds no value.
    bool GetAutoCalDensty(clsInstrument& record);
    // Reads the gas definition into record; on failure channel 0 is undefined.
    bool GetGasInfo(clsInstrument& record);
    // Switches the pump on or off.
    bool SetPump(bool on);
    // Starts the alarm test with a code (sent as two hexadecimal digits).
    bool AlarmTest(qint16 code);
    // Clears the detector's body log and waits for its confirmation.
    bool BodyDataClear();
    // Clears the detector's power log and waits for its confirmation.
    bool PowerDataClear();
    // Restores the detector's defaults and waits for its confirmation.
    bool DefaultInstrument();
    // Powers the detector off and drops the connection; always true.
    bool BodyPowerOff();
    // Sets the detector's clock.
    bool SetDateTime(const QDateTime& when);
    // Makes the detector write its check data.
    bool SetCheckData();
    // Writes the hydrocarbon selection (HcMode) of record.
    bool Lp(clsInstrument& record);
    // Reads the hydrocarbon selection into record.
    bool LpR(clsInstrument& record);
    // Makes the detector store the written settings.
    bool Dw();
    // Reads the identity (ROM number, user, station, serial numbers, gas) into record.
    bool GetRomNo(clsInstrument& record);
    // Reads the latest calibration record into record.
    bool GetLatestHistory(clsInstrument& record);
    // Reads the latest bump test record into record.
    bool GetLatestBumpHistory(clsInstrument& record);

    // Size of the flash image file in bytes, and of one of its blocks.
    static constexpr qint32 kImageSize = 0x8000;
    static constexpr qint32 kImageBlock = 64;
    // Reads flash blocks first..last (0..511) into the image file at path, creating a new
    // image (all 0xFF) when the file is missing or the whole memory is read.
    bool GetBinDump(const QString& path, qint16 first, qint16 last);
    // Reads the memory as hexadecimal text and writes the listing file at path.
    bool GetRomDump2(const QString& path);
    // One listing line: address, 16 bytes (32 hexadecimal digits) in hexadecimal and as text.
    static QString FormatDumpLine(quint32 address, const QString& hexDigits);
    // Writes the buffered listing lines as a section and reports it through DumpMessage;
    // false when no listing is being read or nothing is buffered.
    bool WriteDumpListing();

private:
    // Every operation that talks to the detector starts here.
    void BeginOperation();
    bool ConfirmedClear(const QByteArray& code);
    bool ReadInto(clsInstrument& record, const QByteArray& command);
    void DenstyTick(quint64 generation, qint64 dueMs);
    bool TakeDumpBlock(const QStringList& tokens);
    void RaiseDumpMessage(const QString& text);

    QStringList m_notWritten;
    bool m_denstyRunning = false;
    quint64 m_denstyGeneration = 0;
    DumpListing* m_listing = nullptr;

    // ---- End of whole-detector transfers, maintenance and dumps ----

signals:
    // The detector answered the connect probe.
    void OnConnect();
    // A concentration reading arrived.
    void Densty(float& value);
    // Every fifth connect probe (probes / 5), and a request repeated after a garbled line.
    void ConnectRetry(short& count);
    // The connect attempts are exhausted.
    void AlarmMessage(QString& text);
    // Progress of a memory dump.
    void DumpMessage(QString& text);
    // The serial line reports CTS and DSR both off.
    void LineDown();
    // The infrared component reports a socket error (Winsock number).
    void IrDAError(short& code);
    // A frame was sent, or data arrived.
    void StsTransmit();
    // Received infrared data has been processed.
    void StsIdle();

private:
    // LinkEngineHost
    void writeFrame(const QByteArray& frame) override;
    bool parseFrame(const QByteArray& frame) override;
    void log(const QString& text) override;
    QString dateText() override;
    QByteArray readSerialInput() override;
    int serialModemStatus() override;
    void storeDumpBytes(qint32 position, const QByteArray& bytes) override;
    QByteArray readInfraredInput() override;
    int storeInfraredInputToDump(qint32 position, int maxBytes) override;
    int infraredSocketError() override;
    void pollInfrared() override;
    bool lineStillThere() override;
    void onConnect() override;
    void connectRetry(qint16 count) override;
    void alarmMessage(const QString& text) override;
    void lineDown() override;
    void irdaError(qint16 code) override;
    void stsTransmit() override;
    void stsIdle() override;

    void attachSerial(LinkTransport* transport);
    void attachInfrared(LinkTransport* transport);
    void onSerialEvent(LinkTransport* from, int code);
    void onInfraredEvent(LinkTransport* from, int code);
    void onTick();
    void buildReadCommandTable();
    qint64 quietBoundMs() const;

    std::unique_ptr<LinkClock> m_clock;
    LinkEngine m_engine;
    std::unique_ptr<LinkTransport> m_serial;
    std::unique_ptr<LinkTransport> m_infrared;
    ReplyContext m_ctx;
    clsInstrument* m_instrument = nullptr;
    bool m_enabled = true;
    bool m_serialComm = false;
    bool m_opResult = false;
    QByteArray m_lastReceivedFrame;
    QString m_binDumpPath;
    QString m_portOverride;
    QString m_logTag;
    std::array<qint32, 5> m_factCal{};
    struct ReadCommandEntry {
        QString text;
        bool flag = false;
    };
    std::array<ReadCommandEntry, kReadCommandCount> m_readCommands;
    PortChooser m_chooser;
    PortLister m_lister;
    int m_waitDepth = 0;
    quint64 m_events = 0;
};
