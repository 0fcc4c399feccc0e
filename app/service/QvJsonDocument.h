// SPDX-License-Identifier: GPL-3.0-or-later
// A small JSON tree that keeps every value exactly as written: strings keep their
// escapes undecoded and numbers their digits, so a parsed and rewritten document
// changes only whitespace and member order. Standard C++ only.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

class QvJsonNode {
public:
    enum Type : int32_t { Null = 0, Integer = 1, Real = 2, String = 3, Boolean = 4, Array = 5, Object = 6 };

    QvJsonNode() = default;
    QvJsonNode(const QvJsonNode&) = delete;
    QvJsonNode& operator=(const QvJsonNode&) = delete;

    std::string& GetValue() { return m_value; }
    const std::string& GetValue() const { return m_value; }
    int32_t GetType() const { return m_type; }
    const std::vector<QvJsonNode*>& Children() const { return m_children; }
    const std::map<std::string, QvJsonNode*>& Members() const { return m_members; }

    // Null when the key is absent (every node other than an object has no members).
    QvJsonNode* GetMember(const std::string& key);
    const QvJsonNode* GetMember(const std::string& key) const;
    // Null for an index outside 0 .. count - 1.
    QvJsonNode* GetChild(int32_t index);
    const QvJsonNode* GetChild(int32_t index) const;

    // Replace the text of an existing member or child (its type stays); otherwise add
    // a string node holding the text (a child is appended at the end).
    void SetMember(const std::string& key, const std::string& value);
    void SetChild(int32_t index, const std::string& value);

private:
    friend class QvJsonDocument;

    std::string m_value;
    std::vector<QvJsonNode*> m_children;
    std::map<std::string, QvJsonNode*> m_members;
    int32_t m_type = Object;
};

// Owns the tree parsed from one text. A failed parse keeps what it built up to the
// failure, so the tree can still be read and written; it is then only not valid.
class QvJsonDocument {
public:
    // Nesting deeper than this makes the document not valid (and bounds the recursion).
    static constexpr int kMaxDepth = 512;

    explicit QvJsonDocument(const std::string& text);
    ~QvJsonDocument();
    QvJsonDocument(const QvJsonDocument&) = delete;
    QvJsonDocument& operator=(const QvJsonDocument&) = delete;

    QvJsonNode* GetRoot() { return m_root; }
    const QvJsonNode* GetRoot() const { return m_root; }
    // True when the text parsed and its root is an array or an object.
    bool IsValid() const { return m_valid; }
    // Compact JSON, members in key order; empty when there is no root.
    std::string ToString();

    // Scanning steps of the tokenizer, on the text at the read position.
    void SkipWhitespace();
    // The character at the position, then advance; 0 at the end of the text.
    char NextChar();
    // From just after an opening quote: past the closing quote; false when none.
    bool SkipString();
    void SkipNumber();
    // Types the number text [begin, end) on the node at the top of the stack.
    void SetNumberType(int32_t begin, int32_t end);
    // Matches the literal's remaining letters; advances by their length either way
    // (never past the end of the text).
    bool MatchLiteral(const char* rest);

private:
    enum class Token { None, ObjectStart, ObjectEnd, ArrayStart, ArrayEnd, Colon, Comma, String, Number, True, False, Null, Error };

    Token NextToken(int32_t& begin, int32_t& end);
    bool ParseValue(int depth);
    bool ParseObject(int depth);
    bool ParseArray(int depth);
    void Write(const QvJsonNode& node);

    int32_t m_position = 0;
    std::string m_text;
    QvJsonNode* m_root = nullptr;
    std::deque<QvJsonNode*> m_stack;
    bool m_valid = false;
};
