// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QvJsonDocument.h"

#include <cstring>
#include <limits>

// Nodes reach their children only through the document, which frees them; a node's
// own destructor therefore frees nothing.
QvJsonNode* QvJsonNode::GetMember(const std::string& key)
{
    auto it = m_members.find(key);
    return it == m_members.end() ? nullptr : it->second;
}

const QvJsonNode* QvJsonNode::GetMember(const std::string& key) const
{
    auto it = m_members.find(key);
    return it == m_members.end() ? nullptr : it->second;
}

QvJsonNode* QvJsonNode::GetChild(int32_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_children.size())
        return nullptr;
    return m_children[static_cast<size_t>(index)];
}

const QvJsonNode* QvJsonNode::GetChild(int32_t index) const
{
    return const_cast<QvJsonNode*>(this)->GetChild(index);
}

void QvJsonNode::SetMember(const std::string& key, const std::string& value)
{
    if (QvJsonNode* member = GetMember(key)) {
        member->m_value = value;
        return;
    }
    // A new node is a string so that the writer writes its text.
    auto* node = new QvJsonNode;
    node->m_value = value;
    node->m_type = String;
    m_members.emplace(key, node);
}

void QvJsonNode::SetChild(int32_t index, const std::string& value)
{
    if (QvJsonNode* child = GetChild(index)) {
        child->m_value = value;
        return;
    }
    auto* node = new QvJsonNode;
    node->m_value = value;
    node->m_type = String;
    m_children.push_back(node);
}

namespace {

// Iterative, so that a deeply nested tree is freed without deep recursion.
void DeleteTree(QvJsonNode* root)
{
    std::vector<QvJsonNode*> work;
    if (root)
        work.push_back(root);
    while (!work.empty()) {
        QvJsonNode* node = work.back();
        work.pop_back();
        for (const auto& [key, member] : node->Members())
            work.push_back(member);
        for (QvJsonNode* child : node->Children())
            work.push_back(child);
        delete node;
    }
}

} // namespace

QvJsonDocument::QvJsonDocument(const std::string& text)
{
    if (text.empty())
        return;
    if (text.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        return; // positions are 32-bit
    m_position = 0;
    m_text = text;
    m_root = new QvJsonNode;
    m_stack.push_back(m_root);
    const bool parsed = ParseValue(0);
    m_valid = parsed && (m_root->m_type == QvJsonNode::Array || m_root->m_type == QvJsonNode::Object);
    m_text.clear();
    m_position = 0;
}

QvJsonDocument::~QvJsonDocument()
{
    DeleteTree(m_root);
    if (!m_stack.empty())
        m_stack.pop_back();
}

void QvJsonDocument::SkipWhitespace()
{
    const auto size = static_cast<int32_t>(m_text.size());
    while (m_position < size) {
        const char c = m_text[static_cast<size_t>(m_position)];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            break;
        ++m_position;
    }
}

char QvJsonDocument::NextChar()
{
    if (m_position >= static_cast<int32_t>(m_text.size()))
        return 0;
    return m_text[static_cast<size_t>(m_position++)];
}

bool QvJsonDocument::SkipString()
{
    const auto size = static_cast<int32_t>(m_text.size());
    while (m_position < size) {
        const char c = m_text[static_cast<size_t>(m_position++)];
        if (c == '\\') {
            if (m_position >= size)
                return false;
            ++m_position; // a backslash takes the next character, whatever it is
        } else if (c == '"') {
            return true;
        }
    }
    return false;
}

void QvJsonDocument::SkipNumber()
{
    const auto size = static_cast<int32_t>(m_text.size());
    while (m_position < size) {
        const char c = m_text[static_cast<size_t>(m_position)];
        if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'E' || c == 'e'))
            break;
        ++m_position;
    }
}

void QvJsonDocument::SetNumberType(int32_t begin, int32_t end)
{
    if (m_stack.empty())
        return;
    bool real = false;
    for (int32_t i = begin; i < end; ++i) {
        const char c = m_text[static_cast<size_t>(i)];
        if (c == '+' || c == '.' || c == 'E' || c == 'e' || (c == '-' && i != begin))
            real = true;
    }
    m_stack.back()->m_type = real ? QvJsonNode::Real : QvJsonNode::Integer;
}

bool QvJsonDocument::MatchLiteral(const char* rest)
{
    const size_t length = std::strlen(rest);
    const size_t left = m_text.size() - static_cast<size_t>(m_position);
    const size_t take = length < left ? length : left;
    const bool match = take == length && m_text.compare(static_cast<size_t>(m_position), length, rest) == 0;
    m_position += static_cast<int32_t>(take);
    return match;
}

QvJsonDocument::Token QvJsonDocument::NextToken(int32_t& begin, int32_t& end)
{
    SkipWhitespace();
    begin = end = m_position;
    if (m_position >= static_cast<int32_t>(m_text.size()))
        return Token::None;
    const char c = NextChar();
    Token token = Token::Error;
    switch (c) {
    case '{': token = Token::ObjectStart; break;
    case '}': token = Token::ObjectEnd; break;
    case '[': token = Token::ArrayStart; break;
    case ']': token = Token::ArrayEnd; break;
    case ':': token = Token::Colon; break;
    case ',': token = Token::Comma; break;
    case '"': token = SkipString() ? Token::String : Token::Error; break;
    case 't': token = MatchLiteral("rue") ? Token::True : Token::Error; break;
    case 'f': token = MatchLiteral("alse") ? Token::False : Token::Error; break;
    case 'n': token = MatchLiteral("ull") ? Token::Null : Token::Error; break;
    default:
        if (c == '-' || (c >= '0' && c <= '9')) {
            SkipNumber();
            token = Token::Number;
        }
        break;
    }
    end = m_position;
    return token;
}

bool QvJsonDocument::ParseValue(int depth)
{
    int32_t begin = 0;
    int32_t end = 0;
    QvJsonNode* node = m_stack.back();
    switch (NextToken(begin, end)) {
    case Token::ObjectStart:
        return depth < kMaxDepth && ParseObject(depth + 1);
    case Token::ArrayStart:
        return depth < kMaxDepth && ParseArray(depth + 1);
    case Token::String:
        node->m_type = QvJsonNode::String;
        node->m_value.assign(m_text, static_cast<size_t>(begin + 1), static_cast<size_t>(end - begin - 2));
        return true;
    case Token::Number:
        node->m_value.assign(m_text, static_cast<size_t>(begin), static_cast<size_t>(end - begin));
        SetNumberType(begin, end);
        return true;
    case Token::True:
    case Token::False:
        node->m_type = QvJsonNode::Boolean;
        node->m_value.assign(m_text, static_cast<size_t>(begin), static_cast<size_t>(end - begin));
        return true;
    case Token::Null:
        node->m_type = QvJsonNode::Null;
        node->m_value = "null";
        return true;
    default:
        return false;
    }
}

bool QvJsonDocument::ParseObject(int depth)
{
    QvJsonNode* object = m_stack.back();
    object->m_type = QvJsonNode::Object;
    int32_t begin = 0;
    int32_t end = 0;
    Token token = NextToken(begin, end);
    if (token == Token::ObjectEnd)
        return true;
    for (;;) {
        if (token != Token::String)
            return false;
        std::string key(m_text, static_cast<size_t>(begin + 1), static_cast<size_t>(end - begin - 2));
        if (NextToken(begin, end) != Token::Colon)
            return false;
        auto* member = new QvJsonNode;
        auto [it, inserted] = object->m_members.try_emplace(std::move(key), member);
        if (!inserted) {
            DeleteTree(it->second); // the last value of a duplicate key wins
            it->second = member;
        }
        m_stack.push_back(member);
        const bool parsed = ParseValue(depth);
        m_stack.pop_back();
        if (!parsed)
            return false;
        token = NextToken(begin, end);
        if (token == Token::ObjectEnd)
            return true;
        if (token != Token::Comma)
            return false;
        token = NextToken(begin, end);
    }
}

bool QvJsonDocument::ParseArray(int depth)
{
    QvJsonNode* array = m_stack.back();
    array->m_type = QvJsonNode::Array;
    SkipWhitespace();
    if (m_position >= static_cast<int32_t>(m_text.size()))
        return false;
    if (m_text[static_cast<size_t>(m_position)] == ']') {
        ++m_position;
        return true;
    }
    for (;;) {
        auto* element = new QvJsonNode;
        array->m_children.push_back(element);
        m_stack.push_back(element);
        const bool parsed = ParseValue(depth);
        m_stack.pop_back();
        if (!parsed)
            return false;
        int32_t begin = 0;
        int32_t end = 0;
        const Token token = NextToken(begin, end);
        if (token == Token::ArrayEnd)
            return true;
        if (token != Token::Comma)
            return false;
    }
}

std::string QvJsonDocument::ToString()
{
    if (!m_root)
        return {};
    m_text.clear();
    Write(*m_root);
    std::string result = m_text;
    m_text.clear();
    return result;
}

void QvJsonDocument::Write(const QvJsonNode& node)
{
    switch (node.m_type) {
    case QvJsonNode::String:
        m_text += '"';
        m_text += node.m_value;
        m_text += '"';
        break;
    case QvJsonNode::Array: {
        m_text += '[';
        bool first = true;
        for (const QvJsonNode* child : node.m_children) {
            if (!first)
                m_text += ',';
            first = false;
            Write(*child);
        }
        m_text += ']';
        break;
    }
    case QvJsonNode::Object: {
        m_text += '{';
        bool first = true;
        for (const auto& [key, member] : node.m_members) {
            if (!first)
                m_text += ',';
            first = false;
            m_text += '"';
            m_text += key;
            m_text += "\":";
            Write(*member);
        }
        m_text += '}';
        break;
    }
    case QvJsonNode::Null:
    case QvJsonNode::Integer:
    case QvJsonNode::Real:
    case QvJsonNode::Boolean:
        m_text += node.m_value;
        break;
    default:
        break;
    }
}
