#pragma once

// Numbers the link and its hosts share: exchange status, link state, communication event codes.

// Values of the link's `Status`.
namespace LinkStatus {
constexpr int Reset = 0;       // reset by the connect supervision
constexpr int Idle = 2;        // no exchange
constexpr int DumpListing = 3; // waiting for a dump-listing block
constexpr int ReadWait = 4;    // waiting for a read reply (also the connect probe)
constexpr int WriteWait = 5;   // waiting for the reply to a write or command
constexpr int Completed = 6;   // exchange completed
constexpr int Failed = 7;      // exchange failed
constexpr int Cancelled = 8;   // exchange cancelled
constexpr int BinaryDump = 9;  // binary dump block being received
} // namespace LinkStatus

// Values of the link's `LinkState`.
namespace LinkStates {
constexpr int Offline = 0;
constexpr int Connecting = 2;
constexpr int Connected = 3;
} // namespace LinkStates

// Communication event codes of the two transports.
namespace CommEvent {
constexpr int DataReceived = 2;
constexpr int CtsChanged = 3;
constexpr int DsrChanged = 4;
constexpr int Break = 1001;
constexpr int FramingError = 1004;
constexpr int PortOverrun = 1006;
constexpr int ReceiveOverflow = 1008;
constexpr int ParityError = 1009;
constexpr int SendBufferFull = 1010;
constexpr int DeviceControlError = 1011;
constexpr int LinkEstablished = 1020; // infrared only
constexpr int SocketError = 1021;     // infrared only
} // namespace CommEvent

// Modem status bits of the serial component.
namespace ModemLine {
constexpr int Cts = 0x10;
constexpr int Dsr = 0x20;
} // namespace ModemLine

// Winsock-style socket error numbers reported by the infrared component.
namespace SocketErrorCode {
constexpr int AccessDenied = 10013;
constexpr int AddressInUse = 10048;
constexpr int NetworkUnreachable = 10051;
constexpr int ConnectionReset = 10054;
constexpr int NoBufferSpace = 10055;
constexpr int NotConnected = 10057;
constexpr int TimedOut = 10060;
constexpr int ConnectionRefused = 10061;
constexpr int HostNotFound = 11001;
} // namespace SocketErrorCode
