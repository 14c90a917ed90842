/* The receiver library's interface for its host: the callback it reports every
 * event through, and its three exports. Plain C, so that any host can use it.
 *
 * Every event carries a text (the connection's name: the recorder's device key
 * once it has sent its device information, its dotted IPv4 address before),
 * a 32-bit event code, and data that stays owned by the library and is valid
 * only during the call. Packet events pass the payload followed by one zero
 * byte, the length counting that byte; connection events pass the 19-character
 * local time text "yyyy/mm/dd hh:mm:ss".
 */
#ifndef KAVREL_H
#define KAVREL_H

#include <stdint.h>

#if defined(_WIN32)
#define KAVREL_CALL __stdcall
#else
#define KAVREL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Called on the library's worker threads, by several at once. The result is ignored. */
typedef int32_t(KAVREL_CALL* KavrelHostCallback)(const char* text, int32_t code, const void* data,
                                                 int32_t length);

/* Returned by GPRSInitial when the listener could not be activated and the
 * system gave no reason (a port out of range, no memory). */
#define KAVREL_LISTEN_FAILED (-1)

/* Starts the library: reads its settings, sets up its log and debug window and
 * listens on the TCP port. Returns 0 once listening. When the listener cannot
 * be activated (the port is taken, not permitted, out of range), returns
 * non-zero: the system's error number (errno, a positive value such as
 * EADDRINUSE) when the system refused, else KAVREL_LISTEN_FAILED. The library
 * then stays started but not listening: a repeated call only tries to listen
 * again, on the port it is given, and answers as the first did; the settings
 * are not read again, the log and the debug window stay as they are, and the
 * log tells a failure once however often it repeats, and once that it
 * listens. A repeated call while listening changes nothing and returns 0.
 * GPRSFree stops the library, listening or not. */
int32_t KAVREL_CALL GPRSInitial(void* parentWindow, int32_t port);

/* Registers the host's callback, replacing any earlier one; null unregisters. Returns 0. */
int32_t KAVREL_CALL GPRSRegisterCallbackInformation(KavrelHostCallback callback);

/* Stops the library: ends every connection and the listener. Harmless when not started. Returns 0.
 */
int32_t KAVREL_CALL GPRSFree(void);

#ifdef __cplusplus
}
#endif

#endif /* KAVREL_H */
