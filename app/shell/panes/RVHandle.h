// SPDX-License-Identifier: GPL-3.0-or-later
// The undo stack of a design handle (and, with the same rules, of a side pane):
// records pushed newest on top, undone one at a time or down to a count, never redone.
// GUI thread only: records restore core objects only that thread edits.
#pragma once

#include "app/shell/panes/RVUndoData.h"

#include <cstdint>
#include <memory>
#include <vector>

class RVHandle {
public:
    RVHandle() = default;
    virtual ~RVHandle(); // drops the records without undoing them
    RVHandle(const RVHandle&) = delete;
    RVHandle& operator=(const RVHandle&) = delete;

    // Undoes the newest record and drops it; nothing on an empty stack.
    virtual void undo();
    // Undoes and drops records, newest first, while more than n are held (0: all).
    virtual void undoToIndex(std::int64_t n);
    // Pushes the record on top; a null record is ignored.
    virtual void addUndoData(std::unique_ptr<RVUndoData> data);
    // Drops every record without undoing it.
    virtual void clearUndoData();

    bool canUndo() const { return !m_undoDatas.empty(); }
    // Position 0 is the oldest record.
    const std::vector<std::unique_ptr<RVUndoData>>& undoDatas() const { return m_undoDatas; }
    RVUndoData* lastUndoData() const { return m_undoDatas.empty() ? nullptr : m_undoDatas.back().get(); }

private:
    std::vector<std::unique_ptr<RVUndoData>> m_undoDatas;
};
