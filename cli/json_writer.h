#pragma once
// A small streaming JSON writer. Strings are written as UTF-8; a byte that is
// not part of a valid UTF-8 sequence is written as the escape \udcXX (XX its
// value), a lone low surrogate that no valid text produces, so readers can
// restore the original bytes exactly.
#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

class CJsonWriter {
public:
    explicit CJsonWriter(std::ostream& out) : out_(out) {}

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void Key(std::string_view key);
    void String(std::string_view value);
    void Number(int64_t value);
    void Bool(bool value);
    void Null();

    static void WriteEscaped(std::ostream& out, std::string_view text);

private:
    void BeforeValue();

    std::ostream& out_;
    // One flag per open container: whether it already holds a member.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
};
