// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tests' view of the running program's parts: what the program's start builds and owns,
// reached without members that only tests would call.

#include "player/AppModul.h"
#include "player/Form1.h"

#include <memory>

class DirectoryWatcher;

namespace AppModul {

struct ProgramParts
{
    // The watcher the model follows.
    static DirectoryWatcher& watcher(Program& program) { return *program.m_watcher; }
};

} // namespace AppModul

// A started program held as the tests hold its window: `->` and `*` reach the main window,
// reset() ends the whole program.
class StartedProgram
{
public:
    StartedProgram() = default;
    explicit StartedProgram(std::unique_ptr<AppModul::Program> program)
        : m_program(std::move(program))
    { }
    Form1* get() const { return m_program ? &m_program->window() : nullptr; }
    Form1* operator->() const { return get(); }
    Form1& operator*() const { return *get(); }
    explicit operator bool() const { return m_program != nullptr; }
    void reset() { m_program.reset(); }
    AppModul::Program& program() const { return *m_program; }

private:
    std::unique_ptr<AppModul::Program> m_program;
};
