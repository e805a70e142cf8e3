// Shared by the tests: temporary folders, a scratch registry, and a recorder
// that answers every message box and keeps what it showed.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/message_box.h"

// A fresh folder under $TMPDIR, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string operator/(const std::string& name) const;

private:
    std::string m_path;
};

// Points TESSRA_REGISTRY_DIR at a fresh folder for its lifetime.
class ScratchRegistry {
public:
    ScratchRegistry();
    ~ScratchRegistry();
    const std::string& dir() const { return m_dir.path(); }
    std::string file(const char* rootName) const; // e.g. "HKEY_LOCAL_MACHINE"

private:
    TempDir m_dir;
    std::string m_old;
    bool m_hadOld = false;
};

// Installs itself as the message-box handler for its lifetime. Every box is
// recorded (UTF-8 text and type) and answered from the queue of answers, or
// with IDOK / IDNO when the queue is empty.
class MessageRecorder {
public:
    struct Shown {
        std::string text; // UTF-8
        UINT type;
    };

    MessageRecorder();
    ~MessageRecorder();

    void Answer(int id) { m_answers.push_back(id); }
    const std::vector<Shown>& shown() const { return m_shown; }
    std::vector<std::string> texts() const;
    void clear() { m_shown.clear(); }

private:
    MessageBoxHandler m_previous;
    std::vector<Shown> m_shown;
    std::deque<int> m_answers;
};

// The whole file as bytes ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
// Names of the entries of a folder, sorted.
std::vector<std::string> ListDir(const std::string& path);

// What the sqlite3 shell (/usr/bin/sqlite3, another program) prints for sql
// on a file: its standard output, byte for byte. Throws when it fails.
std::string SqliteShellOutput(const std::string& path, const std::string& sql);

// Text that code page 932 cannot hold, as real place data has it: a variant
// kanji, a Latin accent, a sign, an emoji, JIS X 0213 kanji, and bytes that
// are not UTF-8 at all.
const std::vector<std::string>& BeyondCp932();

// An SQL literal of exactly these bytes, stored as text.
std::string TextLiteral(const std::string& bytes);
