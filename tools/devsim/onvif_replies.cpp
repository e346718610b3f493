#include "tools/devsim/onvif_replies.h"

#include <cstdio>

#include "sdk/onvif_soap.h"

namespace ocv::devsim::onvif_reply {

using onvif::Escape;
using onvif::UtcText;

namespace {

const char* kStreamNames[2] = {"main", "sub"};

std::string Tag(const std::string& name, const std::string& inner) { return "<" + name + ">" + inner + "</" + name + ">"; }
std::string Tag(const std::string& name, int value) { return Tag(name, std::to_string(value)); }

std::string DateTime(time_t t) {
    struct tm u {};
    gmtime_r(&t, &u);
    char buf[320];
    std::snprintf(buf, sizeof buf,
                  "<tt:Time><tt:Hour>%d</tt:Hour><tt:Minute>%d</tt:Minute><tt:Second>%d</tt:Second></tt:Time>"
                  "<tt:Date><tt:Year>%d</tt:Year><tt:Month>%d</tt:Month><tt:Day>%d</tt:Day></tt:Date>",
                  u.tm_hour, u.tm_min, u.tm_sec, u.tm_year + 1900, u.tm_mon + 1, u.tm_mday);
    return buf;
}

const StreamConfig& StreamOf(const ChannelView& c, int type) { return type == 0 ? c.main : c.sub; }

std::string Profile(const DeviceView& d, const char* element, int channel, int type) {
    const ChannelView& c = d.channels[size_t(channel)];
    const StreamConfig& s = StreamOf(c, type);
    const std::string n = std::to_string(channel);
    const int sourceWidth = c.main.width > 0 ? c.main.width : s.width;
    const int sourceHeight = c.main.width > 0 ? c.main.height : s.height;
    std::string x = std::string("<") + element + " token=\"" + ProfileToken(channel, type) + "\" fixed=\"true\">";
    x += Tag("tt:Name", "CH" + n + " " + kStreamNames[type]);
    x += "<tt:VideoSourceConfiguration token=\"VideoSourceConfig_" + n + "\">" + Tag("tt:Name", "Video source " + n) +
         Tag("tt:UseCount", 2) + Tag("tt:SourceToken", SourceToken(channel)) +
         "<tt:Bounds x=\"0\" y=\"0\" width=\"" + std::to_string(sourceWidth) + "\" height=\"" +
         std::to_string(sourceHeight) + "\"/></tt:VideoSourceConfiguration>";
    x += "<tt:AudioSourceConfiguration token=\"AudioSourceConfig_" + n + "\">" + Tag("tt:Name", "Audio source " + n) +
         Tag("tt:UseCount", 2) + Tag("tt:SourceToken", "AudioSource_" + n) + "</tt:AudioSourceConfiguration>";
    x += "<tt:VideoEncoderConfiguration token=\"VideoEncoder_" + n + "_" + kStreamNames[type] + "\">" +
         Tag("tt:Name", std::string("H.264 ") + kStreamNames[type]) + Tag("tt:UseCount", 1) +
         Tag("tt:Encoding", "H264") +
         Tag("tt:Resolution", Tag("tt:Width", s.width) + Tag("tt:Height", s.height)) + Tag("tt:Quality", 5) +
         Tag("tt:RateControl", Tag("tt:FrameRateLimit", d.fps) + Tag("tt:EncodingInterval", 1) +
                                   Tag("tt:BitrateLimit", s.bitrateKbps)) +
         Tag("tt:H264", Tag("tt:GovLength", d.keyInterval) + Tag("tt:H264Profile", "Baseline")) +
         Tag("tt:SessionTimeout", "PT60S") + "</tt:VideoEncoderConfiguration>";
    x += "<tt:AudioEncoderConfiguration token=\"AudioEncoder_" + n + "\">" + Tag("tt:Name", "G.711") +
         Tag("tt:UseCount", 2) + Tag("tt:Encoding", "G711") + Tag("tt:Bitrate", 64) + Tag("tt:SampleRate", 8) +
         Tag("tt:SessionTimeout", "PT60S") + "</tt:AudioEncoderConfiguration>";
    x += "<tt:PTZConfiguration token=\"PTZConfig_" + n + "\">" + Tag("tt:Name", "PTZ " + n) + Tag("tt:UseCount", 2) +
         Tag("tt:NodeToken", "PTZNode_" + n) +
         Tag("tt:DefaultContinuousPanTiltVelocitySpace",
             "http://www.onvif.org/ver10/tptz/PanTiltSpaces/VelocityGenericSpace") +
         Tag("tt:DefaultContinuousZoomVelocitySpace", "http://www.onvif.org/ver10/tptz/ZoomSpaces/VelocityGenericSpace") +
         Tag("tt:DefaultPTZTimeout", "PT5S") + "</tt:PTZConfiguration>";
    x += std::string("</") + element + ">";
    return x;
}

bool Offered(const DeviceView& d, int channel, int type) {
    return channel >= 0 && size_t(channel) < d.channels.size() && type >= 0 && type <= 1 &&
           StreamOf(d.channels[size_t(channel)], type).width > 0;
}

}  // namespace

std::string SourceToken(int channel) { return "VideoSource_" + std::to_string(channel); }

std::string ProfileToken(int channel, int streamType) {
    return "Profile_" + std::to_string(channel) + "_" + kStreamNames[streamType == 0 ? 0 : 1];
}

bool ParseProfileToken(const DeviceView& d, const std::string& token, int* channel, int* streamType) {
    if (token.size() > 32 || token.compare(0, 8, "Profile_") != 0) return false;
    size_t sep = token.find('_', 8);
    if (sep == std::string::npos || sep == 8 || sep - 8 > 2) return false;
    int c = 0;
    for (size_t i = 8; i < sep; ++i) {
        if (token[i] < '0' || token[i] > '9') return false;
        c = c * 10 + (token[i] - '0');
    }
    std::string kind = token.substr(sep + 1);
    int type = kind == "main" ? 0 : kind == "sub" ? 1 : -1;
    if (type < 0 || !Offered(d, c, type) || ProfileToken(c, type) != token) return false;
    *channel = c;
    *streamType = type;
    return true;
}

std::string ServiceUrl(const DeviceView& d, const std::string& service) {
    return "http://" + d.address + ":" + std::to_string(d.webPort) + "/onvif/" + service;
}

std::string StreamUrl(const DeviceView& d, int channel, int streamType) {
    return "rtsp://" + d.address + ":" + std::to_string(d.rtspPort) + "/ch" + std::to_string(channel) + "/" +
           kStreamNames[streamType == 0 ? 0 : 1];
}

std::string Envelope(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
           " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
           " xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\""
           " xmlns:tev=\"http://www.onvif.org/ver10/events/wsdl\""
           " xmlns:tt=\"http://www.onvif.org/ver10/schema\""
           " xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\""
           " xmlns:wstop=\"http://docs.oasis-open.org/wsn/t-1\""
           " xmlns:wsa=\"http://www.w3.org/2005/08/addressing\""
           " xmlns:tns1=\"http://www.onvif.org/ver10/topics\""
           " xmlns:ter=\"http://www.onvif.org/ver10/error\""
           " xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
           "<s:Body>" + body + "</s:Body></s:Envelope>";
}

std::string Fault(bool sender, const std::string& subcode, const std::string& reason) {
    return "<s:Fault><s:Code><s:Value>" + std::string(sender ? "s:Sender" : "s:Receiver") +
           "</s:Value><s:Subcode><s:Value>" + Escape(subcode) + "</s:Value></s:Subcode></s:Code><s:Reason>"
           "<s:Text xml:lang=\"en\">" + Escape(reason) + "</s:Text></s:Reason></s:Fault>";
}

std::string SystemDateAndTime(time_t deviceUtc) {
    return "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>" + Tag("tt:DateTimeType", "Manual") +
           Tag("tt:DaylightSavings", "false") + Tag("tt:TimeZone", Tag("tt:TZ", "UTC0")) +
           Tag("tt:UTCDateTime", DateTime(deviceUtc)) + Tag("tt:LocalDateTime", DateTime(deviceUtc)) +
           "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>";
}

std::string DeviceInformation(const DeviceView& d) {
    return "<tds:GetDeviceInformationResponse>" + Tag("tds:Manufacturer", Escape(d.manufacturer)) +
           Tag("tds:Model", Escape(d.model)) + Tag("tds:FirmwareVersion", Escape(d.firmware)) +
           Tag("tds:SerialNumber", Escape(d.serial)) + Tag("tds:HardwareId", Escape(d.hardware)) +
           "</tds:GetDeviceInformationResponse>";
}

std::string Services(const DeviceView& d, bool withCapabilities) {
    struct Entry {
        const char* ns;
        const char* service;
        std::string capabilities;
    };
    const Entry entries[] = {
        {"http://www.onvif.org/ver10/device/wsdl", "device_service",
         "<tds:Capabilities><tds:System DiscoveryResolve=\"false\" DiscoveryBye=\"false\" RemoteDiscovery=\"false\" "
         "SystemBackup=\"false\" SystemLogging=\"false\" FirmwareUpgrade=\"false\"/></tds:Capabilities>"},
        {"http://www.onvif.org/ver10/media/wsdl", "media_service",
         "<trt:Capabilities SnapshotUri=\"true\"><trt:StreamingCapabilities RTPMulticast=\"false\" RTP_TCP=\"true\" "
         "RTP_RTSP_TCP=\"true\"/></trt:Capabilities>"},
        {"http://www.onvif.org/ver10/events/wsdl", "events_service",
         "<tev:Capabilities WSSubscriptionPolicySupport=\"false\" WSPullPointSupport=\"true\" "
         "WSPausableSubscriptionManagerInterfaceSupport=\"false\"/>"},
        {"http://www.onvif.org/ver20/ptz/wsdl", "ptz_service", "<tptz:Capabilities/>"},
        // The alarm inputs' service. Some clients also send SystemReboot to it, so every service
        // path answers every operation the device knows.
        {"http://www.onvif.org/ver10/deviceIO/wsdl", "deviceio_service",
         "<tmd:Capabilities xmlns:tmd=\"http://www.onvif.org/ver10/deviceIO/wsdl\" DigitalInputs=\"" +
             std::to_string(d.channels.size()) + "\" RelayOutputs=\"0\"/>"},
    };
    std::string x = "<tds:GetServicesResponse>";
    for (const Entry& e : entries) {
        x += "<tds:Service>" + Tag("tds:Namespace", e.ns) + Tag("tds:XAddr", ServiceUrl(d, e.service));
        if (withCapabilities) x += "<tds:Capabilities>" + e.capabilities + "</tds:Capabilities>";
        x += Tag("tds:Version", Tag("tt:Major", 2) + Tag("tt:Minor", 5)) + "</tds:Service>";
    }
    return x + "</tds:GetServicesResponse>";
}

std::string Capabilities(const DeviceView& d) {
    int inputs = int(d.channels.size());
    return "<tds:GetCapabilitiesResponse><tds:Capabilities>"
           "<tt:Device>" + Tag("tt:XAddr", ServiceUrl(d, "device_service")) +
           "<tt:System><tt:DiscoveryResolve>false</tt:DiscoveryResolve><tt:DiscoveryBye>false</tt:DiscoveryBye>"
           "<tt:RemoteDiscovery>false</tt:RemoteDiscovery><tt:SystemBackup>false</tt:SystemBackup>"
           "<tt:SystemLogging>false</tt:SystemLogging><tt:FirmwareUpgrade>false</tt:FirmwareUpgrade>"
           "<tt:SupportedVersions><tt:Major>2</tt:Major><tt:Minor>5</tt:Minor></tt:SupportedVersions></tt:System>" +
           Tag("tt:IO", Tag("tt:InputConnectors", inputs) + Tag("tt:RelayOutputs", 0)) + "</tt:Device>" +
           "<tt:Events>" + Tag("tt:XAddr", ServiceUrl(d, "events_service")) +
           "<tt:WSSubscriptionPolicySupport>false</tt:WSSubscriptionPolicySupport>"
           "<tt:WSPullPointSupport>true</tt:WSPullPointSupport>"
           "<tt:WSPausableSubscriptionManagerInterfaceSupport>false</tt:WSPausableSubscriptionManagerInterfaceSupport>"
           "</tt:Events>" +
           "<tt:Media>" + Tag("tt:XAddr", ServiceUrl(d, "media_service")) +
           "<tt:StreamingCapabilities><tt:RTPMulticast>false</tt:RTPMulticast><tt:RTP_TCP>true</tt:RTP_TCP>"
           "<tt:RTP_RTSP_TCP>true</tt:RTP_RTSP_TCP></tt:StreamingCapabilities></tt:Media>" +
           "<tt:PTZ>" + Tag("tt:XAddr", ServiceUrl(d, "ptz_service")) + "</tt:PTZ>" +
           "</tds:Capabilities></tds:GetCapabilitiesResponse>";
}

std::string Profiles(const DeviceView& d, const char* element, int onlyChannel, int onlyStream) {
    std::string x;
    for (int c = 0; c < int(d.channels.size()); ++c) {
        for (int type = 0; type < 2; ++type) {
            if (!Offered(d, c, type)) continue;
            if (onlyChannel >= 0 && (c != onlyChannel || type != onlyStream)) continue;
            x += Profile(d, element, c, type);
        }
    }
    return x;
}

std::string VideoSources(const DeviceView& d) {
    std::string x = "<trt:GetVideoSourcesResponse>";
    for (int c = 0; c < int(d.channels.size()); ++c) {
        const ChannelView& ch = d.channels[size_t(c)];
        const StreamConfig& s = ch.main.width > 0 ? ch.main : ch.sub;
        x += "<trt:VideoSources token=\"" + SourceToken(c) + "\">" + Tag("tt:Framerate", d.fps) +
             Tag("tt:Resolution", Tag("tt:Width", s.width) + Tag("tt:Height", s.height)) + "</trt:VideoSources>";
    }
    return x + "</trt:GetVideoSourcesResponse>";
}

std::string MediaUri(const char* element, const std::string& uri) {
    return std::string("<") + element + "><trt:MediaUri>" + Tag("tt:Uri", Escape(uri)) +
           "<tt:InvalidAfterConnect>false</tt:InvalidAfterConnect><tt:InvalidAfterReboot>false</tt:InvalidAfterReboot>"
           "<tt:Timeout>PT0S</tt:Timeout></trt:MediaUri></" + element + ">";
}

std::string Presets(const std::vector<Preset>& presets) {
    std::string x = "<tptz:GetPresetsResponse>";
    for (const Preset& p : presets)
        x += "<tptz:Preset token=\"" + Escape(p.token) + "\">" + Tag("tt:Name", Escape(p.name)) + "</tptz:Preset>";
    return x + "</tptz:GetPresetsResponse>";
}

std::string Subscription(const std::string& address, time_t now, time_t termination) {
    return "<tev:CreatePullPointSubscriptionResponse><tev:SubscriptionReference>" +
           Tag("wsa:Address", Escape(address)) + "</tev:SubscriptionReference>" + Tag("wsnt:CurrentTime", UtcText(now)) +
           Tag("wsnt:TerminationTime", UtcText(termination)) + "</tev:CreatePullPointSubscriptionResponse>";
}

std::string PulledMessages(const std::vector<Notification>& messages, time_t now, time_t termination) {
    std::string x = "<tev:PullMessagesResponse>" + Tag("tev:CurrentTime", UtcText(now)) +
                    Tag("tev:TerminationTime", UtcText(termination));
    for (const Notification& n : messages) {
        bool motion = n.type == 0;
        x += "<wsnt:NotificationMessage><wsnt:Topic Dialect=\"http://www.onvif.org/ver10/tev/topicExpression/"
             "ConcreteSet\">" +
             std::string(motion ? "tns1:VideoSource/MotionAlarm" : "tns1:Device/Trigger/DigitalInput") +
             "</wsnt:Topic><wsnt:Message><tt:Message UtcTime=\"" + UtcText(n.when) +
             "\" PropertyOperation=\"Changed\"><tt:Source><tt:SimpleItem Name=\"" +
             (motion ? "Source" : "InputToken") + "\" Value=\"" + SourceToken(n.channel) +
             "\"/></tt:Source><tt:Data><tt:SimpleItem Name=\"" + (motion ? "State" : "LogicalState") +
             "\" Value=\"" + (n.on ? "true" : "false") + "\"/></tt:Data></tt:Message></wsnt:Message>"
             "</wsnt:NotificationMessage>";
    }
    return x + "</tev:PullMessagesResponse>";
}

std::string EventProperties() {
    auto description = [](const char* sourceItem, const char* dataItem) {
        return std::string("<tt:MessageDescription IsProperty=\"true\"><tt:Source><tt:SimpleItemDescription Name=\"") +
               sourceItem + "\" Type=\"tt:ReferenceToken\"/></tt:Source><tt:Data><tt:SimpleItemDescription Name=\"" +
               dataItem + "\" Type=\"xs:boolean\"/></tt:Data></tt:MessageDescription>";
    };
    return "<tev:GetEventPropertiesResponse>"
           "<tev:TopicNamespaceLocation>http://www.onvif.org/onvif/ver10/topics/topicns.xml</tev:TopicNamespaceLocation>"
           "<wsnt:FixedTopicSet>true</wsnt:FixedTopicSet><wstop:TopicSet>"
           "<tns1:VideoSource><MotionAlarm wstop:topic=\"true\">" + description("Source", "State") +
           "</MotionAlarm></tns1:VideoSource><tns1:Device><Trigger><DigitalInput wstop:topic=\"true\">" +
           description("InputToken", "LogicalState") +
           "</DigitalInput></Trigger></tns1:Device></wstop:TopicSet>"
           "<wsnt:TopicExpressionDialect>http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet"
           "</wsnt:TopicExpressionDialect>"
           "<tev:MessageContentFilterDialect>http://www.onvif.org/ver10/tev/messageContentFilter/ItemFilter"
           "</tev:MessageContentFilterDialect>"
           "<tev:MessageContentSchemaLocation>http://www.onvif.org/onvif/ver10/schema/onvif.xsd"
           "</tev:MessageContentSchemaLocation></tev:GetEventPropertiesResponse>";
}

std::string Empty(const std::string& qualifiedName, const std::string& inner) {
    return inner.empty() ? "<" + qualifiedName + "/>" : Tag(qualifiedName, inner);
}

}  // namespace ocv::devsim::onvif_reply
