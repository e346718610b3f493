#pragma once
// ONVIF SOAP messages: the requests a client sends (with a WS-UsernameToken password digest),
// the parts of the replies it reads, and the reading of requests for a device side. Built as
// text and read with libxml2 (no network, no DTD, no entities, 1 MiB at most); elements are
// matched by local name, since devices differ in prefixes and schema versions.
#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace ocv::onvif {

constexpr size_t kMaxSoapBytes = 1024 * 1024;

// WS-UsernameToken: Base64(SHA-1(nonce ‖ created ‖ password)).
std::string PasswordDigest(const std::string& nonce, const std::string& created, const std::string& password);
std::string Base64(const std::string& bytes);
bool Base64Decode(const std::string& text, std::string* out);
// "YYYY-MM-DDThh:mm:ssZ" of a UTC time.
std::string UtcText(time_t t);

struct UsernameToken {
    std::string user, password;
    std::string nonce;    // raw bytes (16 fresh random bytes per message)
    std::string created;  // UtcText of the device's clock
};

// A SOAP 1.2 envelope around body (namespaces of the device, media, PTZ, events and schema
// services declared as tds, trt, tptz, tev, tt, wsnt); a Security header when token is given.
std::string Envelope(const std::string& body, const UsernameToken* token);
std::string Escape(const std::string& text);

// Bodies of the requests the client sends.
std::string GetSystemDateAndTime();
std::string GetDeviceInformation();
std::string GetCapabilities();
std::string SetSystemDateAndTime(time_t utc);
std::string SystemReboot();
std::string GetProfiles();
std::string GetStreamUri(const std::string& profile);
std::string GetSnapshotUri(const std::string& profile);
std::string ContinuousMove(const std::string& profile, double pan, double tilt, double zoom);
std::string PtzStop(const std::string& profile);
std::string GotoPreset(const std::string& profile, const std::string& preset);
std::string SetPreset(const std::string& profile, const std::string& preset);
std::string RemovePreset(const std::string& profile, const std::string& preset);
std::string CreatePullPointSubscription(int terminationSeconds);
std::string PullMessages(int timeoutSeconds, int limit);
std::string Unsubscribe();

// ---- replies ----

struct Fault {
    bool present = false;
    bool notAuthorized = false;  // a subcode or reason naming the sender as not authorised
    std::string reason;
};
Fault ParseFault(const std::string& xml);

// GetSystemDateAndTime: the UTC clock of the device. false without one.
bool ParseSystemDateAndTime(const std::string& xml, time_t* utc);

struct DeviceInformation {
    std::string manufacturer, model, firmware, serial, hardware;
};
bool ParseDeviceInformation(const std::string& xml, DeviceInformation* out);

struct Capabilities {
    std::string media, ptz, events, device;  // service addresses ("" when not offered)
    int inputs = 0;                          // alarm inputs
    int outputs = 0;
};
bool ParseCapabilities(const std::string& xml, Capabilities* out);

struct Profile {
    std::string token, name;
    std::string source;     // the video source token: profiles of one source are one channel
    std::string encoding;   // "H264", "H265", "JPEG", ...
    int width = 0, height = 0;
    bool ptz = false;
};
// At most 128 profiles.
bool ParseProfiles(const std::string& xml, std::vector<Profile>* out);

// GetStreamUri / GetSnapshotUri: the MediaUri's Uri.
bool ParseMediaUri(const std::string& xml, std::string* uri);

// CreatePullPointSubscription: the subscription's address.
bool ParseSubscription(const std::string& xml, std::string* address);

struct Notification {
    std::string topic;                           // as written, e.g. "tns1:VideoSource/MotionAlarm"
    std::map<std::string, std::string> source;   // SimpleItem Name -> Value
    std::map<std::string, std::string> data;
};
// At most 64 notifications.
bool ParsePullMessages(const std::string& xml, std::vector<Notification>* out);

// The alarm a notification reports, by its topic and data. type: 0 motion, 1 alarm input;
// state 1 raised, 0 ended. false for other notifications.
bool AlarmOf(const Notification& n, int* type, int* state);

// ---- requests, for a device side ----

struct Request {
    std::string operation;                      // local name of the Body's first element
    std::map<std::string, std::string> fields;  // local name -> text of leaf elements in the body (first wins)
    std::map<std::string, std::string> attributes;  // "Element@attr" -> value, of body elements
    bool hasToken = false;
    std::string user, digest, nonce, created;   // nonce decoded
    bool plainPassword = false;                 // PasswordText rather than PasswordDigest
};
bool ParseRequest(const std::string& xml, Request* out);

}  // namespace ocv::onvif
