// SPDX-License-Identifier: GPL-3.0-or-later
// The brackets of one scheme, owned, in insertion order.
#pragma once

#include <iosfwd>
#include <vector>

class QvBracket;
class QvModel;
class QvToothBase;

class QvBracketList
{
public:
    QvBracketList() = default;
    // Takes ownership of the given brackets (nulls and repeated pointers are dropped).
    explicit QvBracketList(const std::vector<QvBracket*>& brackets);
    QvBracketList(const QvBracketList&) = delete;
    QvBracketList& operator=(const QvBracketList&) = delete;
    // Deletes every bracket.
    virtual ~QvBracketList();

    // Appends and takes ownership, unless the bracket is null or already listed.
    void AddBracket(QvBracket* bracket);
    // First bracket on that tooth (pointer comparison); null when none.
    QvBracket* FindBracket(const QvToothBase* tooth) const;
    // Removes the first occurrence and deletes it; a bracket not listed is left alone.
    void RemoveBracket(QvBracket* bracket);
    // Nothing when src is this list. Otherwise the own brackets are deleted and each
    // source bracket is copied (QvBracket::CopyFrom); copies left without a body are
    // dropped, the others hidden and appended.
    void CopyFrom(const QvBracketList& src);
    // Deletes every bracket.
    void Clear();

    // int32 count, then each bracket's form.
    std::ostream& Write(std::ostream& os, int version) const;
    // int32 count, then that many brackets, hidden and appended after the present
    // ones. False on a negative count, a count larger than the stream can hold, or a
    // bracket that does not read; the list is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    std::vector<QvBracket*> m_brackets;
};
