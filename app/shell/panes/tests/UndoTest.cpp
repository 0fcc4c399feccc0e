// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/panes/RVHandle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Record : RVUndoData {
    Record(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
    void undo() override { log.push_back(name); }
    std::vector<std::string>& log;
    std::string name;
};

struct Fixture {
    std::vector<std::string> log;
    RVHandle handle;
    void Push(const char* name) { handle.addUndoData(std::make_unique<Record>(log, name)); }
};

TEST(Undo, UndoTakesTheNewestAndUndoToIndexUndoesNewestFirst)
{
    Fixture f;
    f.Push("r1");
    f.Push("r2");
    f.Push("r3");
    f.handle.undo();
    EXPECT_EQ(f.log, (std::vector<std::string>{"r3"}));
    EXPECT_EQ(f.handle.undoDatas().size(), 2u);
    f.handle.undoToIndex(1);
    EXPECT_EQ(f.log, (std::vector<std::string>{"r3", "r2"}));
    f.handle.undoToIndex(1); // count already 1: nothing
    f.handle.undoToIndex(5);
    EXPECT_EQ(f.log.size(), 2u);
    EXPECT_TRUE(f.handle.canUndo());

    Fixture all;
    all.Push("r1");
    all.Push("r2");
    all.Push("r3");
    all.handle.undoToIndex(0);
    EXPECT_EQ(all.log, (std::vector<std::string>{"r3", "r2", "r1"}));
    EXPECT_FALSE(all.handle.canUndo());
    all.handle.undo(); // empty: nothing
    EXPECT_EQ(all.log.size(), 3u);
}

TEST(Undo, ClearAndDestructionUndoNothing)
{
    std::vector<std::string> log;
    {
        RVHandle handle;
        handle.addUndoData(std::make_unique<Record>(log, "a"));
        handle.addUndoData(std::make_unique<RVUndoData>()); // the base record restores nothing
        handle.undo();
        EXPECT_EQ(handle.lastUndoData() != nullptr, true);
        handle.clearUndoData();
        EXPECT_FALSE(handle.canUndo());
        EXPECT_EQ(handle.lastUndoData(), nullptr);
        handle.addUndoData(std::make_unique<Record>(log, "b"));
        handle.addUndoData(nullptr);
        EXPECT_EQ(handle.undoDatas().size(), 1u);
    }
    EXPECT_TRUE(log.empty());
}

// A record whose undo pushes a new record on the same handle (a pane refreshing
// itself) must not disturb the stack it is being taken from.
TEST(Undo, ARecordMayTouchItsHandleWhileUndoing)
{
    struct Reentrant : RVUndoData {
        explicit Reentrant(RVHandle& h) : handle(h) {}
        void undo() override { handle.addUndoData(std::make_unique<RVUndoData>()); }
        RVHandle& handle;
    };
    RVHandle handle;
    handle.addUndoData(std::make_unique<Reentrant>(handle));
    handle.undo();
    EXPECT_EQ(handle.undoDatas().size(), 1u);
}

} // namespace
