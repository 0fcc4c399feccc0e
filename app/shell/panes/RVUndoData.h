// SPDX-License-Identifier: GPL-3.0-or-later
// One undoable design edit. A record keeps what it needs to restore the state before
// the edit and restores it in undo(); the base record restores nothing.
#pragma once

class RVUndoData {
public:
    virtual ~RVUndoData() = default;
    virtual void undo() {}
};
