#include "JsonValue.h"

#include <cstdlib>
#include <cstring>

namespace
{
class CJsonReader
{
public:
    explicit CJsonReader(const std::string& strText) : m_strText(strText) {}

    bool ReadDocument(SJsonValue& value)
    {
        return ReadValue(value, 0) && (SkipSpace(), m_nAt == m_strText.size());
    }

private:
    void SkipSpace()
    {
        while (m_nAt < m_strText.size() && m_strText[m_nAt] != '\0' &&
               std::strchr(" \t\r\n", m_strText[m_nAt]))
            ++m_nAt;
    }
    bool Take(char c)
    {
        SkipSpace();
        if (m_nAt >= m_strText.size() || m_strText[m_nAt] != c)
            return false;
        ++m_nAt;
        return true;
    }
    bool TakeWord(const char* szWord)
    {
        const size_t nLength = std::strlen(szWord);
        if (m_strText.compare(m_nAt, nLength, szWord) != 0)
            return false;
        m_nAt += nLength;
        return true;
    }

    bool ReadValue(SJsonValue& value, int nDepth)
    {
        SkipSpace();
        if (m_nAt >= m_strText.size() || nDepth > 64)
            return false;
        const char c = m_strText[m_nAt];
        if (c == '{')
            return ReadObject(value, nDepth);
        if (c == '[')
            return ReadArray(value, nDepth);
        if (c == '"')
        {
            value.eKind = SJsonValue::JSON_STRING;
            return ReadString(value.strValue);
        }
        if (TakeWord("true") || TakeWord("false"))
        {
            value.eKind = SJsonValue::JSON_BOOL;
            value.bValue = m_strText[m_nAt - 1] == 'e' && m_strText[m_nAt - 2] == 'u';
            return true;
        }
        if (TakeWord("null"))
            return true;
        return ReadNumber(value);
    }

    bool ReadNumber(SJsonValue& value)
    {
        const char* szStart = m_strText.c_str() + m_nAt;
        if (*szStart != '-' && (*szStart < '0' || *szStart > '9'))
            return false;
        char* pEnd = nullptr;
        value.dValue = std::strtod(szStart, &pEnd);
        value.eKind = SJsonValue::JSON_NUMBER;
        m_nAt += static_cast<size_t>(pEnd - szStart);
        return pEnd != szStart;
    }

    bool ReadHex4(unsigned& uiOut)
    {
        if (m_nAt + 4 > m_strText.size())
            return false;
        char* pEnd = nullptr;
        const std::string strHex = m_strText.substr(m_nAt, 4);
        uiOut = static_cast<unsigned>(std::strtoul(strHex.c_str(), &pEnd, 16));
        m_nAt += 4;
        return pEnd == strHex.c_str() + 4;
    }

    // The tools escape only what JSON requires, so only those escapes and
    // \u below 0x80 are read; anything else fails the parse.
    bool ReadEscape(std::string& strOut)
    {
        const char c = m_strText[m_nAt++];
        const char* szSimple = std::strchr("\"\\/bfnrt", c);
        if (c != '\0' && szSimple)
        {
            strOut += "\"\\/\b\f\n\r\t"[szSimple - "\"\\/bfnrt"];
            return true;
        }
        unsigned uiCode = 0;
        if (c != 'u' || !ReadHex4(uiCode) || uiCode >= 0x80)
            return false;
        strOut += static_cast<char>(uiCode);
        return true;
    }

    bool ReadString(std::string& strOut)
    {
        if (!Take('"'))
            return false;
        while (m_nAt < m_strText.size())
        {
            const char c = m_strText[m_nAt++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\')
                strOut += c;
            else if (m_nAt >= m_strText.size() || !ReadEscape(strOut))
                return false;
        }
        return false;
    }

    bool ReadArray(SJsonValue& value, int nDepth)
    {
        value.eKind = SJsonValue::JSON_ARRAY;
        Take('[');
        if (Take(']'))
            return true;
        do
        {
            value.items.emplace_back();
            if (!ReadValue(value.items.back(), nDepth + 1))
                return false;
        } while (Take(','));
        return Take(']');
    }

    bool ReadObject(SJsonValue& value, int nDepth)
    {
        value.eKind = SJsonValue::JSON_OBJECT;
        Take('{');
        if (Take('}'))
            return true;
        do
        {
            std::string strName;
            SkipSpace();
            if (!ReadString(strName) || !Take(':') || !ReadValue(value.members[strName], nDepth + 1))
                return false;
        } while (Take(','));
        return Take('}');
    }

    const std::string& m_strText;
    size_t m_nAt = 0;
};
} // namespace

const SJsonValue* SJsonValue::Find(const std::string& strName) const
{
    auto it = members.find(strName);
    return eKind == JSON_OBJECT && it != members.end() ? &it->second : nullptr;
}

std::optional<SJsonValue> ParseJson(const std::string& strText)
{
    SJsonValue value;
    CJsonReader reader(strText);
    if (!reader.ReadDocument(value))
        return std::nullopt;
    return value;
}
