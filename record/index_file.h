#pragma once
// images.fi: one 144-byte IndexRecord per recording file of a folder. The recorder of the
// folder's channel is its only writer; readers may read while it grows.
#include <string>
#include <vector>

#include "record/record_format.h"

namespace ocv {

// Takes away any permission bits beyond kRecordFileMode from an open file (never adds one).
void LimitFileMode(int fd);

// An images.fi held open by the recorder while its file is being written.
class IndexFile {
public:
    IndexFile() = default;
    ~IndexFile() { Close(); }
    IndexFile(const IndexFile&) = delete;
    IndexFile& operator=(const IndexFile&) = delete;

    // Opens for update, creating the file when missing. 0 or -1.
    int Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // Every whole record (a torn tail is ignored). 0 or -1.
    int ReadAll(std::vector<IndexRecord>* records);
    // Appends at the last record boundary (a torn tail from a crash is overwritten) and returns
    // the record's byte offset, or -1.
    long Append(const IndexRecord& record);
    // Rewrites the record at a byte offset returned by Append. 0 or -1.
    int Rewrite(long offset, const IndexRecord& record);

private:
    int fd_ = -1;
};

// All whole records of an images.fi (a torn tail is ignored). 0, or -1 when unreadable.
int ReadIndexFile(const std::string& path, std::vector<IndexRecord>* records);
// One-shot helpers over IndexFile: the record's position (record number) or -1; 0 or -1.
int AppendIndexRecord(const std::string& path, const IndexRecord& record);
int RewriteIndexRecord(const std::string& path, int position, const IndexRecord& record);
// Replaces the whole index through a temporary file, fsync and rename, so a crash leaves the
// old list or the new one. Only while no recorder writes the folder (start-up repair). 0 or -1.
int ReplaceIndexFile(const std::string& path, const std::vector<IndexRecord>& records);

}  // namespace ocv
