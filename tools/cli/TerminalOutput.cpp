#include "tools/cli/TerminalOutput.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "platform/Text.h"

namespace vm::cli {

namespace {

std::string Bar(long done, long count, int width) {
    const long filled = count > 0 ? done * width / count : 0;
    std::string bar = "[";
    for (int i = 0; i < width; ++i) bar += i < filled ? '#' : '-';
    return bar + "]";
}

}  // namespace

TerminalOutput& TerminalOutput::Instance() {
    static TerminalOutput* output = new TerminalOutput;  // used until the process ends
    return *output;
}

TerminalOutput::TerminalOutput() : m_terminal(::isatty(STDOUT_FILENO) == 1) {}

void TerminalOutput::ClearLocked() {
    if (!m_shown) return;
    std::cout << "\r\033[K" << std::flush;
    m_shown = false;
}

void TerminalOutput::DrawLocked() {
    if (!m_terminal || (m_count <= 0 && m_fileCount <= 0)) return;
    std::string line = "总进度 " + Bar(m_done, m_count, 24) + " " + std::to_string(m_done) + "/" +
                       std::to_string(m_count);
    if (m_fileCount > 0)
        line += "  文件 " + Bar(m_filePercent, m_fileCount, 16) + " " +
                std::to_string(m_fileCount ? m_filePercent * 100 / m_fileCount : 0) + "%";
    std::cout << "\r\033[K" << line << std::flush;
    m_shown = true;
}

void TerminalOutput::Line(const std::string& text, bool toStderr) {
    std::lock_guard<std::mutex> g(m_lock);
    ClearLocked();
    // Lines may carry a server's words: nothing in them may drive the terminal.
    (toStderr ? std::cerr : std::cout) << platform::WithoutControlCharacters(text) << "\n"
                                       << std::flush;
    DrawLocked();
}

void TerminalOutput::Total(long done, long count) {
    std::lock_guard<std::mutex> g(m_lock);
    const bool changed = done != m_done || count != m_count;
    m_done = done;
    m_count = count;
    if (m_terminal) {
        DrawLocked();
        if (count <= 0 && m_fileCount <= 0) ClearLocked();
    } else if (changed && count > 0) {
        std::cout << "进度: " << done << "/" << count << "\n" << std::flush;
    }
}

void TerminalOutput::File(long percent, long count) {
    std::lock_guard<std::mutex> g(m_lock);
    m_filePercent = percent;
    m_fileCount = count;
    if (!m_terminal) return;
    DrawLocked();
    if (count <= 0 && m_count <= 0) ClearLocked();
}

void TerminalOutput::Suspend() {
    std::lock_guard<std::mutex> g(m_lock);
    ClearLocked();
}

void TerminalOutput::Resume() {
    std::lock_guard<std::mutex> g(m_lock);
    DrawLocked();
}

void TerminalOutput::Finish() {
    std::lock_guard<std::mutex> g(m_lock);
    ClearLocked();
    m_done = m_count = m_filePercent = m_fileCount = 0;
}

}  // namespace vm::cli
