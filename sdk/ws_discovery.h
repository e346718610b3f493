#pragma once
// WS-Discovery (SOAP 1.2 over UDP) as ONVIF devices speak it: the Probe a client multicasts
// (and sends to addresses the operator gives), the ProbeMatches a device answers with, and the
// found-device record made from a match. Parsed with libxml2, never with string searches.
#include <cstddef>
#include <string>
#include <vector>

#include "sdk/discovery_wire.h"

namespace ocv::wire {

// Larger datagrams are dropped unread; a SOAP message may not carry a document type
// declaration, so one with a DOCTYPE or an entity declaration is dropped as well.
constexpr size_t kMaxSoapDatagram = 32 * 1024;
constexpr size_t kMaxProbeMatches = 16;

// A random (version 4) UUID, 36 characters.
std::string NewUuid();

// A Probe for NetworkVideoTransmitter devices with that message id ("urn:uuid:...").
std::string BuildProbe(const std::string& messageId);

struct ProbeRequest {
    std::string messageId;
    std::string types;  // as written, "" for any
};
bool ParseProbe(const char* xml, size_t size, ProbeRequest* out);

struct ProbeMatch {
    std::string endpoint;  // the endpoint reference's address, e.g. "urn:uuid:..."
    std::string types;
    std::string scopes;    // space-separated URIs
    std::string xaddrs;    // space-separated service addresses
};

std::string BuildProbeMatches(const std::string& messageId, const std::string& relatesTo,
                              const std::vector<ProbeMatch>& matches);
// The matches of a ProbeMatches message that relates to relatesTo, at most kMaxProbeMatches.
// false for anything else (another message, another probe's answer, not well-formed XML).
bool ParseProbeMatches(const char* xml, size_t size, const std::string& relatesTo, std::vector<ProbeMatch>* out);

// The record of a match whose service addresses include an http address on an IPv4 host:
// address, port and path from it, the device id from the endpoint reference (the UUID of a
// "urn:uuid:" reference, else the reference itself when short enough, else a hash of it),
// the model from the "onvif://www.onvif.org/hardware/" scope as the version text, type "ONVIF".
bool FoundDeviceFromMatch(const ProbeMatch& match, FoundDevice* out);

}  // namespace ocv::wire
