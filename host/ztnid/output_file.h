/*
** output_file.h - where a CSV output goes, and which files a run may not write.
**
** A regular file (or a new one) is written to a temporary file created exclusively
** beside it and renamed over it when the run succeeds: the target is replaced
** atomically or not at all, keeps its mode (a new file gets 0666 less the umask), and a
** run that fails or is stopped by SIGINT, SIGTERM, SIGHUP or SIGQUIT leaves no
** temporary file behind.  A symbolic link is followed to its target and stays a link.
** A FIFO or a character device is written through, as a shell redirection does; other
** special files are refused.
*/
#ifndef ZTNID_OUTPUT_FILE_H
#define ZTNID_OUTPUT_FILE_H

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace ztnid {

class OutputFile {
public:
    explicit OutputFile(std::string path) : path_(std::move(path)) {}
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /* Opens the stream to write.  Throws RunError. */
    FILE* open();
    /* Makes the written text the target's.  Throws RunError (nothing is kept then). */
    void commit();
    /* Closes and removes the temporary file, if any. */
    void discard() noexcept;

private:
    std::string path_, target_, temp_;
    FILE* file_ = nullptr;
};

/* A file by device and inode, named for messages. */
struct FileId {
    std::string what;             /* "the input file in.csv" */
    dev_t dev = 0;
    ino_t ino = 0;
};

/* The identity of an existing file (symbolic links followed) or of an open descriptor;
** false when there is none or it is a terminal or other character device, which may be
** read and written by one run. */
bool IdOfPath(const std::string& path, std::string what, FileId* id);
bool IdOfDescriptor(int fd, std::string what, FileId* id);

/* Throws RunError when an output is one of the inputs. */
void RefuseOutputThatIsAnInput(const std::vector<FileId>& inputs, const std::vector<FileId>& outputs);

} // namespace ztnid

#endif
