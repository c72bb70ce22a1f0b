#pragma once

// A small strict JSON reader for tests that check a tool's machine-readable
// output: it accepts exactly the JSON grammar and nothing after the value.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct SJsonValue
{
    enum EKind
    {
        JSON_NULL,
        JSON_BOOL,
        JSON_NUMBER,
        JSON_STRING,
        JSON_ARRAY,
        JSON_OBJECT,
    };
    EKind eKind = JSON_NULL;
    bool bValue = false;
    double dValue = 0;
    // UTF-8, escapes decoded.
    std::string strValue;
    std::vector<SJsonValue> items;
    std::map<std::string, SJsonValue> members;

    // The member, or null when absent or this is no object.
    const SJsonValue* Find(const std::string& strName) const;
};

// The one value of the text (white space around it allowed); none when the
// text is not exactly one JSON value.
std::optional<SJsonValue> ParseJson(const std::string& strText);
