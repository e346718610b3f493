#pragma once
// Producing the installed database files: the live QVXVMS.dat (tables and the Administrator
// "admin" with an empty password) and the template QVXVMS.bak (tables and one SYSTERM row with
// PRODUCT "TOLVE"). The demo option adds devices, a group of their channels and settings
// that record around the clock and link motion alarms to recording and sound.
#include <string>
#include <vector>

namespace ocv::mkdb {

struct DemoDevice {
    std::string host;
    int port = 0;
    int channels = 0;
    int type = 0;  // device type number: 0 our protocol, kDeviceTypeOnvif a standard camera
};

// "host:port:channels" items separated by commas (host may itself hold colons: the last two
// fields are port and channels); "onvif=host:port:channels" is an ONVIF camera at its web port.
// false with *error set for a malformed item.
bool ParseDemoDevices(const std::string& text, std::vector<DemoDevice>* out, std::string* error);

// A new database file with the tables of the schema and nothing else; replaces path. 0 or -1.
int CreateEmptyDatabase(const std::string& path);

// The live database at path (replaced through a temporary file). 0 or -1.
int WriteLiveDatabase(const std::string& path, const std::vector<DemoDevice>& demo, std::string* error);

// The template at path (replaced through a temporary file). 0 or -1.
int WriteTemplate(const std::string& path, std::string* error);

// What the tool does in dir: the template always, the live database only when it is missing
// or force is set. 0 done; 1 the live database was kept (*kept set) although demo devices were
// asked for, so they were not written; -1 failure with *message set.
int InstallDatabaseFiles(const std::string& dir, bool force, const std::vector<DemoDevice>& demo, bool* kept,
                         std::string* message);

}  // namespace ocv::mkdb
