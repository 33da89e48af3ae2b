#pragma once
// Builds small "dbase.xml" files for tests: codes are given plain and stored
// scrambled with the program's keys, as the delivered file stores them.

#include "foundation/scramble.hpp"
#include "support/scramble_helpers.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Attribute text with the five XML specials escaped; scrambled codes may hold
// '<' and '>'.
inline std::string xmlEscaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

inline std::string scrambledModels(const std::vector<std::string>& plain, const std::string& separator = ",")
{
    std::string out;
    for (const auto& code : plain) {
        if (!out.empty())
            out += separator;
        out += code.empty() ? code : scrambleModelCode(code);
    }
    return out;
}

inline std::string scrambledAirlines(const std::vector<std::string>& plain)
{
    std::string out;
    for (const auto& code : plain) {
        if (!out.empty())
            out += ",";
        out += scrambleAirline(code);
    }
    return out;
}

class DbaseFile {
public:
    // The required sections, one element each, all of them non-empty.
    static DbaseFile minimal()
    {
        DbaseFile file;
        file.models("aircrafts", "aircraft", {"A320", "B744", "C172", "E190", "EC35", "F16", "C25A"})
            .models("high_performance", "hpf", {"F16"})
            .models("heavy", "hvy", {"B744"})
            .models("large", "lar", {"A320"})
            .models("buzjet", "bzj", {"C25A"})
            .models("rotorcraft", "rot", {"EC35"})
            .models("cargo_types", "cargo_type", {"B744"})
            .airlines("ICAO_airlines", {"DLH", "KLM"})
            .airlines("cargo_operators", {"BOX"});
        return file;
    }

    // One element whose "types" attribute lists the scrambled codes.
    DbaseFile& models(const std::string& section, const std::string& element, const std::vector<std::string>& plain)
    {
        return raw(section, element + " types=\"" + xmlEscaped(scrambledModels(plain)) + "\"");
    }

    DbaseFile& airlines(const std::string& section, const std::vector<std::string>& plain)
    {
        return raw(section, "ICAO codes=\"" + xmlEscaped(scrambledAirlines(plain)) + "\"");
    }

    DbaseFile& similar(const std::vector<std::string>& plain)
    {
        return raw("similar_types", "similar types=\"" + xmlEscaped(scrambledModels(plain)) + "\"");
    }

    DbaseFile& publisher(const std::string& names)
    {
        return raw("publishers", "pub names=\"" + xmlEscaped(names) + "\"");
    }

    DbaseFile& wingspan(const std::string& plainModel, const std::string& metres)
    {
        return raw("wingspans", "wingspan type=\"" + xmlEscaped(scrambleModelCode(plainModel)) + "\" meters=\"" +
                                    xmlEscaped(metres) + "\"");
    }

    // A registration record; an empty code leaves its attribute out.
    DbaseFile& record(const std::string& registration, const std::string& airline, const std::string& type,
                      const std::string& operatorCode = "", const std::string& cargo = "")
    {
        std::string element = "db reg=\"" + xmlEscaped(gf_scrambleRegcode(registration)) + "\"";
        if (!airline.empty())
            element += " airl=\"" + xmlEscaped(scrambleAirline(airline)) + "\"";
        if (!type.empty())
            element += " type=\"" + xmlEscaped(scrambleModelCode(type)) + "\"";
        if (!operatorCode.empty())
            element += " opr=\"" + xmlEscaped(scrambleAirline(operatorCode)) + "\"";
        if (!cargo.empty())
            element += " cargo=\"" + cargo + "\"";
        return raw("dbase", element);
    }

    // One child element of a section, written as given between '<' and "/>".
    DbaseFile& raw(const std::string& section, const std::string& element)
    {
        if (!m_sections.contains(section))
            m_order.push_back(section);
        m_sections[section].push_back(element);
        return *this;
    }

    DbaseFile& without(const std::string& section)
    {
        m_sections.erase(section);
        std::erase(m_order, section);
        return *this;
    }

    // Every section a top-level element of its own, as in the delivered file.
    std::string text() const
    {
        std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
        for (const auto& section : m_order) {
            out += "<" + section + ">\n";
            for (const auto& element : m_sections.at(section))
                out += "  <" + element + "/>\n";
            out += "</" + section + ">\n";
        }
        return out;
    }

    void write(const std::filesystem::path& path) const
    {
        if (path.has_parent_path())
            std::filesystem::create_directories(path.parent_path());
        writeFile(path, text());
    }

private:
    std::vector<std::string> m_order;
    std::map<std::string, std::vector<std::string>> m_sections;
};

} // namespace testsupport
