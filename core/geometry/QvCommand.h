// SPDX-License-Identifier: GPL-3.0-or-later
// Base of every model-editing operation: construct with the inputs, set options,
// Execute, read the results when it succeeded, destroy.
#pragma once

class QvCommand
{
public:
    QvCommand() = default;
    virtual ~QvCommand() = default;

    // True on success; the results are only meaningful then.
    [[nodiscard]] virtual bool Execute() = 0;

protected:
    // Commands are handled through base pointers; copying one through the base would slice it.
    QvCommand(const QvCommand&) = default;
    QvCommand& operator=(const QvCommand&) = default;
};
