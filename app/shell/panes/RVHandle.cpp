// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/panes/RVHandle.h"

RVHandle::~RVHandle()
{
    m_undoDatas.clear();
}

void RVHandle::undo()
{
    if (m_undoDatas.empty())
        return;
    // Taken off first: a record's undo may push or clear on this very handle.
    std::unique_ptr<RVUndoData> top = std::move(m_undoDatas.back());
    m_undoDatas.pop_back();
    top->undo();
}

void RVHandle::undoToIndex(std::int64_t n)
{
    if (n < 0)
        n = 0;
    while (static_cast<std::int64_t>(m_undoDatas.size()) > n)
        RVHandle::undo();
}

void RVHandle::addUndoData(std::unique_ptr<RVUndoData> data)
{
    if (data)
        m_undoDatas.push_back(std::move(data));
}

void RVHandle::clearUndoData()
{
    m_undoDatas.clear();
}
