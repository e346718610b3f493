#ifndef OCV_QVX_SDK_H
#define OCV_QVX_SDK_H
/* The device library: a C interface to network video devices that speak the Ocuvant device
 * protocol (docs/device-protocol.md) or the standard camera protocols (ONVIF, RTSP). Results
 * are integers, 0 = success; handles are positive, 0 = none. Callbacks run on the library's
 * own threads. */
#include <stdint.h>

#include "player/qvx_player.h"
#include "sdk/qvx_audio_output.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t QVX_HANDLE;

/* Results. Every failure is non-zero; the ones a caller must tell apart are distinct. */
#define QVX_OK 0
#define QVX_ERR_FAILED (-1)        /* refused, invalid argument or failed */
#define QVX_ERR_NO_ROOM (-2)       /* buffer too small; query: no more data */
#define QVX_ERR_CONNECT (-3)       /* host unreachable or connection refused */
#define QVX_ERR_TIMEOUT (-4)       /* the device did not answer in time */
#define QVX_ERR_PASSWORD (-5)      /* user name or password wrong */
#define QVX_ERR_PROTOCOL (-6)      /* malformed or unexpected message */
#define QVX_ERR_HANDLE (-7)        /* unknown handle */
#define QVX_ERR_NOT_INIT (-8)      /* QVX_SDK_Init not called */
#define QVX_ERR_DEVICE (-9)        /* the device refused the request */
#define QVX_ERR_SIZE (-10)         /* configuration buffer of the wrong size */
#define QVX_ERR_OFFLINE (-11)      /* the login is reconnecting; try again later */
#define QVX_ERR_HTTP (-12)         /* web request failed (status other than 200) */
#define QVX_ERR_HTTP_AUTH (-13)    /* web request refused with 401 */
#define QVX_ERR_CODEC (-14)        /* the stream's video is neither H.264 nor H.265 */

/* Exception callback types. */
#define QVX_EXCEPTION_LOGIN_LOST 1
#define QVX_EXCEPTION_LOGIN_RESTORED 2
#define QVX_EXCEPTION_STREAM_RESTORED 3
#define QVX_EXCEPTION_STREAM_LOST 4
#define QVX_EXCEPTION_STREAM_CLOSED 5
/* A reconnection of the login (stream 0) or of a stream was refused for the user name or
 * password: it is not tried again; the handle stays valid until it is closed. */
#define QVX_EXCEPTION_LOGIN_REFUSED 6

/* Stream callback data kinds. */
#define QVX_DATA_STREAM_INFO 0 /* 28 bytes: seven 32-bit words (ocv::StreamInfo) */
#define QVX_DATA_FRAME 1       /* one frame record: 16-byte header + data (ocv::FrameHeader) */

/* Event types delivered by the event stream. */
#define QVX_EVENT_MOTION 0
#define QVX_EVENT_ALARM_INPUT 1
#define QVX_EVENT_AUDIO_ALARM 3
#define QVX_EVENT_TEMPERATURE 14

/* Configuration commands and their exact buffer sizes. */
#define QVX_CMD_CHANNEL_STATUS 4376
#define QVX_CMD_CHANNEL_STATUS_SIZE 81932
#define QVX_CMD_STREAM_CHOICE 4113
#define QVX_CMD_STREAM_CHOICE_SIZE 4
/* 4117 is 0x1015: the time block of 15 words and the device clock record are one command. */
#define QVX_CMD_TIME 4117
#define QVX_CMD_TIME_SIZE 60
#define QVX_CMD_COLOR 0x1004
#define QVX_CMD_COLOR_SIZE 20
#define QVX_CMD_IMAGE 0x1005
#define QVX_CMD_IMAGE_SIZE 40
#define QVX_CMD_QUALITY 0x1006
#define QVX_CMD_QUALITY_SIZE 56
#define QVX_CMD_OSD 0x1007
#define QVX_CMD_OSD_SIZE 88
#define QVX_CMD_PTZ_PORT 0x1012
#define QVX_CMD_PTZ_PORT_SIZE 40
#define QVX_CMD_NETWORK 0x1013
#define QVX_CMD_NETWORK_SIZE 276
#define QVX_CMD_CAPABILITY 0x1014
#define QVX_CMD_CAPABILITY_SIZE 412
#define QVX_CMD_CLOCK 0x1015
#define QVX_CMD_CLOCK_SIZE 60
#define QVX_CMD_MOTION 0x1016
#define QVX_CMD_MOTION_SIZE 276
#define QVX_CMD_ALARM_INPUT 0x1017
#define QVX_CMD_ALARM_INPUT_SIZE 20

/* Expected buffer size of a configuration command, 0 for an unknown command. */
int32_t QVX_SDK_ConfigSize(uint32_t command);

/* Device information block filled by QVX_SDK_Login: 512 bytes, little-endian, texts
 * zero-terminated in their fields. */
#define QVX_DEVICE_INFO_SIZE 512
typedef struct QVX_DEVICE_INFO {
    uint32_t structSize;        /* 0: 512 */
    uint32_t channelCount;      /* 4: video channels, 1..64 */
    uint32_t alarmInputCount;   /* 8 */
    uint32_t alarmOutputCount;  /* 12 */
    uint32_t streamsPerChannel; /* 16: 1..3 */
    uint32_t webPort;           /* 20: HTTP port of the CGI requests */
    uint32_t protocolVersion;   /* 24 */
    uint32_t audioEncoding;     /* 28: 1 = G.711 A-law */
    char deviceType[32];        /* 32: "IPC", "NVR", "DVR", "DECODER", ... */
    char deviceId[64];          /* 64: serial number, unique per device */
    char deviceName[64];        /* 128 */
    char macAddress[32];        /* 192: "00:11:22:33:44:55" */
    uint8_t reserved1[8];       /* 224 */
    char firmwareVersion[64];   /* 232: e.g. "V27.1.0 build 20260101" */
    uint8_t reserved2[216];     /* 296..511 */
} QVX_DEVICE_INFO;

/* Stream request: 14 zeroed 32-bit words; word 1 channel, word 2 stream type (0 main, 1 sub,
 * 2 third), word 4 = 3 live stream, 1 second live stream; the event stream is word 5 = 4
 * with everything else 0. */
#define QVX_REQUEST_WORDS 14

typedef void (*QVX_ExceptionCallBack)(int32_t type, QVX_HANDLE loginHandle, QVX_HANDLE streamHandle,
                                      void* context);
typedef void (*QVX_RealDataCallBack)(QVX_HANDLE streamHandle, int32_t dataKind, const uint8_t* data,
                                     int32_t length, intptr_t user);
/* Seven values: event stream handle, device channel, event type, state (1 raised, 0 ended),
 * message text (not terminated), its length, user value. */
typedef void (*QVX_EventCallBack)(QVX_HANDLE eventHandle, int32_t channel, int32_t eventType, int32_t state,
                                  const char* data, int32_t length, intptr_t user);

int32_t QVX_SDK_Init(void);
int32_t QVX_SDK_Cleanup(void);

/* Supervision timing (milliseconds, 0 keeps the current value). Defaults: heartbeat every
 * 5000, a connection silent for 15000 is lost, reconnection attempts every 3000, connect
 * and request time-out 5000. */
int32_t QVX_SDK_SetSupervision(int32_t heartbeatIntervalMs, int32_t silenceTimeoutMs,
                               int32_t reconnectIntervalMs, int32_t requestTimeoutMs);

int32_t QVX_SDK_SetExceptionCallBack(uint32_t reserved1, uint32_t reserved2, QVX_ExceptionCallBack callback,
                                     void* context);

/* Audio output for two-way talk; NULL removes it. Copied; the pointers must stay valid. */
int32_t QVX_SDK_SetAudioOutput(const QVX_AudioOutput* output);

/* Protocol byte of QVX_SDK_Login: which driver speaks to the device. Every value other than
 * these two selects our own protocol (callers that pass 0 or 1 get it, as always). */
#define QVX_PROTOCOL_OWN 0
#define QVX_PROTOCOL_ONVIF 12    /* ONVIF camera or recorder: port is its web (HTTP) port */
#define QVX_PROTOCOL_RTSP_URL 13 /* camera without ONVIF: port is its RTSP port; stream URLs per channel */

int32_t QVX_SDK_Login(QVX_HANDLE* outHandle, const char* host, uint16_t port, const char* user,
                      const char* password, uint8_t protocol, uint8_t reserved, QVX_DEVICE_INFO* outInfo);
int32_t QVX_SDK_Logout(QVX_HANDLE loginHandle);

/* Standard cameras: the RTSP URL of a channel's stream (streamType 0 main, 1 sub), overriding
 * the ONVIF profile's; "" removes an override. Credentials inside the URL are not used (the
 * login's are). QVX_ERR_DEVICE for a login of our own protocol. */
int32_t QVX_SDK_SetStreamUrl(QVX_HANDLE loginHandle, int32_t channel, int32_t streamType, const char* url);
/* Asked for a channel's stream URL when a standard camera's stream opens and no URL was set
 * with QVX_SDK_SetStreamUrl: fill url (room: size bytes, terminated) and return 0, or return
 * non-zero for "none stored". Runs on the thread opening the stream. NULL removes it. */
typedef int32_t (*QVX_StreamUrlCallBack)(const char* host, uint16_t port, int32_t channel, int32_t streamType,
                                         char* url, uint32_t size, void* context);
int32_t QVX_SDK_SetStreamUrlCallBack(QVX_StreamUrlCallBack callback, void* context);
/* RTSP transport of standard cameras' streams opened from now on. */
#define QVX_RTSP_TCP 0 /* RTP interleaved in the RTSP connection (the default) */
#define QVX_RTSP_UDP 1
int32_t QVX_SDK_SetRtspTransport(int32_t transport);

int32_t QVX_SDK_RealPlay(QVX_HANDLE loginHandle, const uint32_t request[QVX_REQUEST_WORDS],
                         QVX_RealDataCallBack callback, intptr_t user, QVX_HANDLE* outHandle);
/* Word 5 = 4: the login's event stream (callback required). Any other request is a live stream
 * (words 1, 2 and 4 as for QVX_SDK_RealPlay) that the library plays itself into the window given
 * as reserved1 (an ocv::player::VideoSurface*, as QVXPlay_SetDrawWnd takes it), with a player port
 * of its own; callback is not used. QVX_SDK_StopRealPlay ends either. */
int32_t QVX_SDK_RealPlayV3(QVX_HANDLE loginHandle, const uint32_t request[QVX_REQUEST_WORDS], void* reserved1,
                           void* reserved2, QVX_EventCallBack callback, intptr_t user, QVX_HANDLE* outHandle);
/* Called on the drawing stream's decoding thread over every picture before it is shown: the
 * context is the picture in window pixels (a point (x, y) of the picture lies at
 * (x * context->width / pictureWidth, y * context->height / pictureHeight)); valid only during
 * the call. It must return quickly and may only draw on the context. */
typedef void (*QVX_DrawCallBack)(QVX_HANDLE streamHandle, QVXPlayDrawContext* context, int32_t pictureWidth,
                                 int32_t pictureHeight, intptr_t user);
/* Draws over a stream the library plays itself (QVX_SDK_RealPlayV3 with a window); NULL removes
 * the callback, and no call of the old one runs once this returns. QVX_ERR_HANDLE for another
 * kind of stream. */
int32_t QVX_SDK_RegisterDrawFun(QVX_HANDLE streamHandle, QVX_DrawCallBack callback, intptr_t user);
/* After return no callback for this handle runs (also when called from that callback). */
int32_t QVX_SDK_StopRealPlay(QVX_HANDLE streamHandle);

int32_t QVX_SDK_SetupAlarmChan(QVX_HANDLE loginHandle, int32_t channel, QVX_HANDLE* outHandle);
int32_t QVX_SDK_CloseAlarmChan(QVX_HANDLE alarmHandle);

int32_t QVX_SDK_GetConfig(QVX_HANDLE loginHandle, int32_t channel, uint32_t command, void* buffer,
                          uint32_t length);
int32_t QVX_SDK_SetConfig(QVX_HANDLE loginHandle, int32_t channel, uint32_t command, const void* buffer,
                          uint32_t length);

/* PTZ commands (QVX_SDK_PTZControl; stop 1 ends the motion, speed 1..7) and preset commands
 * (QVX_SDK_PTZPreset). Devices of our protocol receive the numbers as they are; standard
 * cameras get them as ONVIF continuous moves and presets. */
#define QVX_PTZ_ZOOM_IN 11
#define QVX_PTZ_ZOOM_OUT 12
#define QVX_PTZ_UP 21
#define QVX_PTZ_DOWN 22
#define QVX_PTZ_LEFT 23
#define QVX_PTZ_RIGHT 24
#define QVX_PTZ_UP_LEFT 25
#define QVX_PTZ_UP_RIGHT 26
#define QVX_PTZ_DOWN_LEFT 27
#define QVX_PTZ_DOWN_RIGHT 28
#define QVX_PTZ_PRESET_SET 8
#define QVX_PTZ_PRESET_CLEAR 9
#define QVX_PTZ_PRESET_GOTO 39

int32_t QVX_SDK_PTZControl(QVX_HANDLE loginHandle, int32_t channel, uint32_t command, uint32_t stop,
                           uint32_t speed);
int32_t QVX_SDK_PTZPreset(QVX_HANDLE loginHandle, int32_t channel, uint32_t command, uint32_t preset);

/* mode 1 two-way talk (device audio goes to the registered audio output), 0 broadcast. */
int32_t QVX_SDK_StartVoiceCom(QVX_HANDLE loginHandle, uint32_t reserved1, void* reserved2, void* reserved3,
                              uint32_t mode, QVX_HANDLE* outHandle);
/* data: G.711 A-law bytes, at most 8192 per call. */
int32_t QVX_SDK_VoiceComSendData(QVX_HANDLE talkHandle, const uint8_t* data, uint32_t length);
int32_t QVX_SDK_StopVoiceCom(QVX_HANDLE talkHandle);

/* request: 14 words: word 0 capture kind (1 = JPEG snapshot), word 1 channel, word 9 a picture
 * number the device may use; *inOutLength: buffer size in, picture size out. */
int32_t QVX_SDK_CaptureJPEGPictureV2(QVX_HANDLE loginHandle, const uint32_t request[QVX_REQUEST_WORDS],
                                     uint8_t* buffer, uint32_t* inOutLength);
int32_t QVX_SDK_Reboot(QVX_HANDLE loginHandle);

/* HTTP GET of the CGI path on the device's web port; the login's credentials go only in answer
 * to the device's challenge (Digest preferred over Basic), never along a redirection. The reply
 * body is copied into reply (terminated when room allows; cut at the buffer size);
 * *inOutLength: buffer size in, body bytes copied out. */
int32_t QVX_SDK_SendCommand(QVX_HANDLE loginHandle, const char* request, uint32_t requestLength, char* reply,
                            uint32_t* inOutLength);
/* Starts a paged CGI query; each QVX_SDK_QueryNextDataV2 returns the next line of the reply
 * (at most the buffer size, at most 4096 bytes, terminated when room allows), and
 * QVX_ERR_NO_ROOM after the last one. Replies over 8 MiB are cut there. */
int32_t QVX_SDK_QueryDataV2(QVX_HANDLE loginHandle, const char* request, uint32_t requestLength,
                            QVX_HANDLE* outQuery);
int32_t QVX_SDK_QueryNextDataV2(QVX_HANDLE query, char* buffer, uint32_t* inOutLength);
int32_t QVX_SDK_QueryCloseV2(QVX_HANDLE query);

/* ---- Recordings kept on the device: search, day marks, playback, download ---- */

/* Search and download condition: 14 signed words (date and time in the device's local time). */
typedef struct QVX_FIND_COND {
    int32_t channel;    /* 0..63 */
    int32_t recordType; /* 0 all, 1 manual, 2 alarm, 3 plan */
    int32_t startYear, startMonth, startDay, startHour, startMinute, startSecond;
    int32_t endYear, endMonth, endDay, endHour, endMinute, endSecond;
} QVX_FIND_COND;

/* One recording file on the device, as QVX_SDK_FindNextFile fills it: 208 bytes. */
#define QVX_FILE_DESC_SIZE 208
#define QVX_FILE_NAME_SIZE 160
typedef struct QVX_FILE_DESC {
    uint32_t channel;     /* 0 */
    uint32_t reserved;    /* 4: 0 */
    uint32_t fileNumber;  /* 8: the device's number of the file */
    uint32_t recordType;  /* 12: 1 manual, 2 alarm, 3 plan */
    uint32_t durationSec; /* 16: length of the recording in seconds */
    uint32_t sizeKiB;     /* 20: size in KiB */
    uint32_t startYear;   /* 24 */
    uint32_t startMonth;  /* 28 */
    uint32_t startDay;    /* 32 */
    uint32_t startHour;   /* 36 */
    uint32_t startMinute; /* 40 */
    uint32_t startSecond; /* 44 */
    char fileName[QVX_FILE_NAME_SIZE]; /* 48: terminated; what QVX_SDK_PlayBackByName takes */
} QVX_FILE_DESC;

/* Day marks of QVX_SDK_FindNFileMarks: 64 bytes for the month of the search's start date;
 * byte d (1..31) is '1' when day d has recordings, else '0'; byte 0 is '0', bytes 32.. are 0. */
#define QVX_DAY_MARKS_SIZE 64

/* QVX_SDK_FindNextFile results. */
#define QVX_FIND_FILE 0     /* a description was filled */
#define QVX_FIND_BUSY 1     /* the device has not answered yet: call again a little later */
#define QVX_FIND_REFUSED 2  /* the device refused the search (channel, type or dates) */
#define QVX_FIND_NO_MORE 3  /* every file was returned */
#define QVX_FIND_ERROR 4    /* no answer in time, connection lost, or a malformed answer */
#define QVX_FIND_INVALID 5  /* unknown search handle or no buffer */

/* QVX_SDK_PlayBackControl commands (handles of QVX_SDK_PlayBackByName and, where noted, of
 * QVX_SDK_GetFileByTime). */
#define QVX_PLAYCTRL_START 1   /* playback: resume after a pause; download: start the transfer */
#define QVX_PLAYCTRL_PAUSE 3   /* playback: the device stops sending until START */
#define QVX_PLAYCTRL_SPEED 5   /* playback: value = speed level -3..4, 2^level times normal */
#define QVX_PLAYCTRL_SETPOS 13 /* playback: value = position in percent, 0..100 */
#define QVX_PLAYCTRL_STATE 19  /* both: *outValue = QVX_PLAYSTATE_* */
#define QVX_PLAYCTRL_GETPOS 20 /* both: *outValue = percent played or downloaded, 0..100 */

#define QVX_PLAYSTATE_READY 0    /* download opened, not started */
#define QVX_PLAYSTATE_RUNNING 1  /* frames arrive */
#define QVX_PLAYSTATE_PAUSED 2
#define QVX_PLAYSTATE_FINISHED 3 /* the device sent everything; a download's file is complete */
#define QVX_PLAYSTATE_FAILED 4   /* connection lost, device failure or file write failure */

/* Starts a search; the device's answer is collected by QVX_SDK_FindNextFile. */
int32_t QVX_SDK_FindFile(QVX_HANDLE loginHandle, const QVX_FIND_COND* condition, QVX_HANDLE* outFind);
/* description: QVX_FILE_DESC_SIZE bytes (a QVX_FILE_DESC). Returns a QVX_FIND_* value. */
int32_t QVX_SDK_FindNextFile(QVX_HANDLE findHandle, void* description);
/* marks: QVX_DAY_MARKS_SIZE bytes. QVX_ERR_NO_ROOM while the answer is still awaited. */
int32_t QVX_SDK_FindNFileMarks(QVX_HANDLE findHandle, char* marks);
int32_t QVX_SDK_FindClose(QVX_HANDLE findHandle);

/* Plays a file found by QVX_SDK_FindFile into a player port of its own that the library feeds
 * (QVX_SDK_GetPBPlayIndex); returns once the stream has begun. The caller binds a window to
 * the port, may position with QVX_PLAYCTRL_SETPOS and starts it with QVXPlay_Play (already
 * playing, so harmless). */
int32_t QVX_SDK_PlayBackByName(QVX_HANDLE loginHandle, int32_t channel, const char* fileName, QVX_HANDLE* outPlay);
/* The player handle (for the QVXPlay_* calls) of a playback. */
int32_t QVX_SDK_GetPBPlayIndex(QVX_HANDLE playHandle, int32_t* outPort);
/* outValue may be NULL for commands that return nothing. */
int32_t QVX_SDK_PlayBackControl(QVX_HANDLE handle, uint32_t command, int32_t value, int32_t* outValue);
/* Ends the playback and frees its player port; no frame reaches the port after return. */
int32_t QVX_SDK_StopPlayBack(QVX_HANDLE playHandle);

/* Downloads the recordings of a span into localPath, written as one recording file (.qvx, the
 * format of docs/storage-format.md). The transfer begins with QVX_PLAYCTRL_START; progress and
 * completion come from QVX_PLAYCTRL_GETPOS and QVX_PLAYCTRL_STATE. */
int32_t QVX_SDK_GetFileByTime(QVX_HANDLE loginHandle, const QVX_FIND_COND* condition, const char* localPath,
                              QVX_HANDLE* outDownload);
/* Ends the download; the frames received so far stay in the file as a whole recording. */
int32_t QVX_SDK_StopGetFile(QVX_HANDLE downloadHandle);

/* ---- LAN discovery and network settings ---- */

/* A device found by QVX_SDK_SchSearch: 260 bytes, texts terminated inside their fields. */
#define QVX_FOUND_DEVICE_SIZE 260
typedef struct QVX_FOUND_DEVICE {
    uint32_t port;          /* 0: device port (ONVIF: the port of its service address) */
    char address[32];       /* 4: IPv4 address text; the list is ordered by it */
    char mask[16];          /* 36 */
    char gateway[16];       /* 52 */
    char dns1[16];          /* 68 */
    char dns2[16];          /* 84 */
    uint32_t channels;      /* 100 */
    uint32_t webPort;       /* 104 */
    uint32_t protocol;      /* 108: QVX_SCH_PROTOCOL_ALL for our devices, QVX_SCH_PROTOCOL_ONVIF */
    uint32_t reserved;      /* 112 */
    char deviceId[40];      /* 116: 1..36 characters, identifies the device */
    char mac[20];           /* 156 */
    char firmware[40];      /* 176: version text (ONVIF: the hardware scope, the model) */
    char deviceType[12];    /* 216: "IPC", "NVR", "DVR", "DECODER", "ONVIF" */
    char servicePath[32];   /* 228: ONVIF device service path, "" when longer than 31 */
} QVX_FOUND_DEVICE;

/* Search protocols. */
#define QVX_SCH_PROTOCOL_ALL 0      /* every device of ours */
#define QVX_SCH_PROTOCOL_STORAGE 5  /* our recorders: NVR and DVR */
#define QVX_SCH_PROTOCOL_DECODER 6  /* our decoders */
#define QVX_SCH_PROTOCOL_ONVIF 12   /* ONVIF devices, by WS-Discovery */

/* QVX_SDK_SchCmd: the device refused (wrong user or password, or a value it cannot take). */
#define QVX_SCH_REFUSED (-2)

/* Called on a library thread once for every device a search finds (size: 260). */
typedef void (*QVX_SchCallBack)(const void* record, int32_t size, void* user);

/* A discovery handle: timeoutMs (100..60000) is how long a search collects answers and how
 * long a settings exchange waits for each answer; protocol one of QVX_SCH_PROTOCOL_*. */
int32_t QVX_SDK_SchInitEx(QVX_HANDLE* outHandle, int32_t timeoutMs, int32_t protocol);
int32_t QVX_SDK_SchCallBack(QVX_HANDLE schHandle, QVX_SchCallBack callback, void* user);
/* Also probes this IPv4 address (devices beyond routers); port 0: the protocol's usual port
 * (37020 ours, 3702 WS-Discovery). */
int32_t QVX_SDK_SchAddTarget(QVX_HANDLE schHandle, const char* address, uint16_t port);
/* 1 (the default): probes also go to the LAN, broadcast for our devices, the WS-Discovery
 * multicast group 239.255.255.250 for ONVIF devices; 0: only to the added addresses. */
int32_t QVX_SDK_SchLanSearch(QVX_HANDLE schHandle, int32_t enable);
/* Blocks for the time-out; copies the devices found (each once) into buffer, at most
 * size / 260. Answers that come later still reach the callback until QVX_SDK_SchDestroy. */
int32_t QVX_SDK_SchSearch(QVX_HANDLE schHandle, void* buffer, uint32_t size, int32_t* outCount);
/* Sends the record's network settings (address, mask, gateway, DNS, port) to the device it
 * names by id, proven with the device's user and password. 0 applied, QVX_SCH_REFUSED, or a
 * failure (device not found by this handle's search, no answer: QVX_ERR_TIMEOUT). */
int32_t QVX_SDK_SchCmd(QVX_HANDLE schHandle, const void* record, const char* user, const char* password);
/* No callback runs once it returns. */
int32_t QVX_SDK_SchDestroy(QVX_HANDLE schHandle);

#ifdef __cplusplus
}
#endif
#endif
