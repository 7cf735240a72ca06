#pragma once
// The TCP command link to RealTraffic when it runs on this computer: the program listens, RealTraffic
// connects as the client. Over it the program asks for RealTraffic's version and edition, sends the
// user aircraft's position once a second ("Qs121"), the simulator time to the professional edition
// ("Qs123"), and "exit" when the service run ends. The traffic itself comes over UDP.

#include "platform/socket.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace amb {

struct UserAcBlock;

extern platform::Socket g_rtListenSocket;
extern platform::Socket g_rtClientSocket;
// A client is accepted; cleared by a failed send and by closing the server.
extern std::atomic<std::uint8_t> g_rtClientConnected;
// The client reported the professional edition (level 2).
extern std::atomic<std::uint8_t> g_rtProfessional;
// Set at start and by every restart; cleared once RealTraffic has connected and answered.
extern std::atomic<std::uint8_t> g_rtLinkPending;
// RealTraffic is installed on this computer (set by the worker's start-up).
extern std::atomic<std::uint8_t> g_realTrafficLocal;

// Opens the listening socket on the port (a service name for the address lookup, "10747" by
// default). Throws std::runtime_error with the failing step.
void lf_startServer(const std::string& port);
// Waits until RealTraffic connects, or the listening socket is closed (false). Every connection is
// asked "Qs999=version" at once; the first whose answer forms one JSON value (at most 16383 bytes)
// becomes the client, its answer in versionReply. A connection that closes, stays silent past the
// bound (3 s; the first such shows "No RealTraffic version received?"), answers with anything else
// or sends more is closed; many of them cost RealTraffic no more time than one.
bool waitForClient(std::string* versionReply = nullptr);
// Sends the line without waiting for RealTraffic to read: a line it has no room for is dropped (the
// first such is logged and shown as RealTraffic not reading, and the first line to go whole after it
// as its reading again). False when the send failed: the client is dropped.
bool sendDataPacket(const std::string& text);
// The bound of the version reply (tests shorten it).
void lf_setVersionReplyWait(std::chrono::milliseconds bound);
// The start-of-run handshake: waits for RealTraffic and asks its version.
void lf_waitForRealTraffic();
void lf_checkRealTrafficVersion(const std::string& reply);
// Simulator time in Unix seconds, sent as milliseconds when a client is connected.
void lf_sendQs123(std::int64_t unixSeconds);
// The user aircraft (g_engineUserAc, or the block given) to RealTraffic; waits for RealTraffic to
// come back when it has gone. The engine calls it with its lock released: neither the send nor the
// wait holds up a thread that needs the lock.
void lf_sendPosition();
void lf_sendPosition(const UserAcBlock& user);
// Closes the listening socket only: a thread blocked in its accept (the worker's position send
// waiting for RealTraffic to come back) returns at once. The exit calls it before it waits for the
// worker.
void lf_stopAccepting();
// Says "exit" to a connected client, waiting at most exitLineWait (and never more than a second)
// for RealTraffic to read, and closes both sockets.
void lf_closeServer(std::chrono::milliseconds exitLineWait = std::chrono::seconds(1));

// The "Qs121" command for a user aircraft block.
std::string gf_qs121Text(const UserAcBlock& user);

// Back to start values (sockets closed, no client, standard edition, link pending).
void gf_resetLink();

}  // namespace amb
