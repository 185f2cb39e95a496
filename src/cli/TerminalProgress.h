// The command-line program: argument parsing, source gathering and terminal output.
// Links only the core.
#pragma once

#include <QElapsedTimer>

#include <cstdio>

// "Message n (of m)" with a bar, redrawn in place on one terminal line, a few times a second.
class TerminalProgress
{
public:
    explicit TerminalProgress(std::FILE *terminal) : m_terminal(terminal) { m_sinceDraw.start(); }
    void show(int done, int total);
    void finish();

private:
    std::FILE *m_terminal;
    QElapsedTimer m_sinceDraw;
    bool m_drawn = false;
};
