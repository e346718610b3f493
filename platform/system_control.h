#pragma once
// CPU and network meters for the status bar, and the handle-closing retry used when deleting
// recordings. A C interface so it reads like the platform library it replaces.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Starts measuring; the first QVX_CPU_Usage reports the time since this call.
int QVX_CPU_Init(void);
// Percentage 0..100 of all cores busy since the previous call; -1 before QVX_CPU_Init.
int QVX_CPU_Usage(void);
void QVX_CPU_Free(void);

typedef struct QVX_NET_RECORD {
    char name[32];            // adapter name, e.g. "eth0"
    uint64_t linkSpeed;       // bits per second; 0 when the adapter does not report one
    uint32_t received;        // kilobytes (1000 bytes) per second since the previous call
    uint32_t sent;            // kilobytes per second since the previous call
} QVX_NET_RECORD;

// Builds the adapter table. 0 or -1.
int QVX_NET_Init(void);
// Fills up to maxRecords records, one per adapter; returns how many, -1 before QVX_NET_Init.
int QVX_NET_Usage(QVX_NET_RECORD* records, int maxRecords);
// Frees the adapter table.
void QVX_NET_Free(void);

// Nothing holds files open across processes here the way the original platform did, so
// this only reports whether the path still exists; the caller's retry is a plain second try.
int QVX_CloseFileHandle(const char* path);

#ifdef __cplusplus
}

#include <string>
namespace ocv {
// Root under which "proc/stat", "proc/net/dev" and "sys/class/net" are read ("/" normally).
void SetSystemRootForTesting(std::string root);
}  // namespace ocv
#endif
