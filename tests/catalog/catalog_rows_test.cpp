// Shapes of the compiled-in rows that the rest of the installer relies on or
// must tolerate. How the counts are read:
//  - A name's stem is the text before its last dot. "Different stem" compares
//    stems without regard to letter case; "other letter case" rows have stems
//    that are equal only without regard to case. The two groups never overlap.
//  - ComponentName: 22 rows differ from the cabinet stem even without regard
//    to case; the 8 last rows (90-97), whose ComponentName is the whole cabinet
//    file name, are among those 22. 4 further rows differ in letter case only.
//    The remaining 72 rows equal the stem exactly.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "catalog/component_catalog.h"

namespace kelvane {
namespace {

std::string Stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

std::string Extension(const std::string& name) {
    auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

enum class Relation { Same, CaseOnly, Different };

Relation Relate(const std::string& a, const std::string& b) {
    if (a == b) return Relation::Same;
    return Lower(a) == Lower(b) ? Relation::CaseOnly : Relation::Different;
}

// `longer` is `base` followed by something more, without regard to case.
bool HasSuffixAfter(const std::string& longer, const std::string& base) {
    return longer.size() > base.size() && Lower(longer).compare(0, base.size(), Lower(base)) == 0;
}

std::vector<int> RowsWhere(auto predicate) {
    std::vector<int> rows;
    for (int i = 0; i < CatalogRowCount; ++i) {
        if (predicate(CatalogRows()[i])) rows.push_back(i);
    }
    return rows;
}

// The rows where `name` of the row stands in `relation` to the cabinet's stem.
std::vector<int> RowsWhereCabStemIs(Relation relation, auto name) {
    return RowsWhere([&](const CatalogRow& row) { return Relate(name(row), Stem(row.CabName)) == relation; });
}

std::vector<int> Range(int first, int last) {
    std::vector<int> rows;
    for (int i = first; i <= last; ++i) rows.push_back(i);
    return rows;
}

TEST(CatalogRows, NamedRowsHoldTheirExactValues) {
    struct Named {
        int index;
        const char* cab;
        const char* module;
    };
    const Named named[] = {
        {2, "DrelkChart.cab", "DrelkChart.dll"},
        {16, "Vantor.cab", "Vantor.dll"},
        {24, "Orrisk.cab", "Orrisk.dll"},
        {45, "QzChart.cab", "QzChart.dll"},
        {73, "QzC1Chart.cab", "QzC1Chart.dll"},
        {80, "VantorU.cab", "VantorU.dll"},
        {91, "Tessik.cab", "Tessik.ocx"},
        {95, "Lumbrel.cab", "Lumbrel.ocx"},
        {97, "QzRtfMiniChart.cab", "QzRtfMiniChart.dll"},
    };
    for (const Named& n : named) {
        const CatalogRow& row = CatalogRows()[n.index];
        SCOPED_TRACE(n.index);
        EXPECT_STREQ(row.CabName, n.cab);
        EXPECT_STREQ(row.ModuleName, n.module);
        EXPECT_EQ(std::string(row.InfName), Stem(n.cab) + ".inf");
    }
    EXPECT_STREQ(CatalogRows()[88].ClsidText, "{1C18220D-EC23-48C8-B35E-857ADE9D1465}");
    EXPECT_STREQ(CatalogRows()[89].ClsidText, "{1C18220D-EC23-48C8-B35E-857ADE9D1465}");
}

TEST(CatalogRows, ClassIdentifiersAreRegistryFormAndDistinctButForTwoPairs) {
    std::vector<GUID> guids(CatalogRowCount);
    for (int i = 0; i < CatalogRowCount; ++i) {
        const std::string clsid = CatalogRows()[i].ClsidText;
        SCOPED_TRACE(i);
        ASSERT_EQ(clsid.size(), 38u) << clsid;
        for (size_t k = 0; k < clsid.size(); ++k) {
            char c = clsid[k];
            if (k == 0) {
                EXPECT_EQ(c, '{');
            } else if (k == 37) {
                EXPECT_EQ(c, '}');
            } else if (k == 9 || k == 14 || k == 19 || k == 24) {
                EXPECT_EQ(c, '-');
            } else {
                EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c))) << clsid;
            }
        }
        std::wstring wide(clsid.begin(), clsid.end());
        EXPECT_EQ(::CLSIDFromString(wide.c_str(), &guids[i]), NOERROR) << clsid;
    }

    EXPECT_EQ(RowsWhere([](const CatalogRow& row) {
                  return std::string(row.ClsidText).find_first_of("abcdef") != std::string::npos;
              }),
              (std::vector<int>{19, 54, 55, 80, 85}));

    // Compared as parsed identifiers, so that a copy differing only in letter case counts as shared.
    std::set<std::pair<int, int>> shared;
    for (int i = 0; i < CatalogRowCount; ++i) {
        for (int j = i + 1; j < CatalogRowCount; ++j) {
            if (IsEqualGUID(guids[i], guids[j])) shared.insert({i, j});
        }
    }
    EXPECT_EQ(shared, (std::set<std::pair<int, int>>{{88, 89}, {90, 92}}));
    EXPECT_STREQ(CatalogRows()[90].ClsidText, CatalogRows()[92].ClsidText);
}

TEST(CatalogRows, FileNamesArePlainAndUnique) {
    std::set<std::string> cabs, modules, infs;
    int dll = 0, ocx = 0;
    for (int i = 0; i < CatalogRowCount; ++i) {
        const CatalogRow& row = CatalogRows()[i];
        SCOPED_TRACE(i);
        // A wildcard or separator would turn the presence probe into a search.
        for (std::string name : {row.CabName, row.ModuleName, row.InfName}) {
            EXPECT_FALSE(Stem(name).empty()) << name;
            EXPECT_EQ(name.find_first_of("\\/:*?\"<>| "), std::string::npos) << name;
        }
        EXPECT_EQ(Extension(row.CabName), ".cab");
        EXPECT_EQ(Extension(row.InfName), ".inf");
        std::string moduleExtension = Extension(row.ModuleName);
        dll += moduleExtension == ".dll";
        ocx += moduleExtension == ".ocx";
        EXPECT_TRUE(cabs.insert(Lower(row.CabName)).second) << row.CabName;
        EXPECT_TRUE(infs.insert(Lower(row.InfName)).second) << row.InfName;
        if (i != 89) {
            EXPECT_TRUE(modules.insert(Lower(row.ModuleName)).second) << row.ModuleName;
        }
        EXPECT_NE(std::string(row.ComponentName), "");
    }
    EXPECT_EQ(dll, 88);
    EXPECT_EQ(ocx, 10);
}

TEST(CatalogRows, ModuleNameShapes) {
    auto moduleStem = [](const CatalogRow& row) { return Stem(row.ModuleName); };
    auto different = RowsWhereCabStemIs(Relation::Different, moduleStem);
    auto caseOnly = RowsWhereCabStemIs(Relation::CaseOnly, moduleStem);
    EXPECT_EQ(different.size(), 10u);
    EXPECT_EQ(caseOnly.size(), 5u);
    EXPECT_EQ(RowsWhere([](const CatalogRow& row) {
                  return HasSuffixAfter(Stem(row.CabName), Stem(row.ModuleName));
              }).size(),
              1u);

    const CatalogRow& first = CatalogRows()[88];
    const CatalogRow& second = CatalogRows()[89];
    EXPECT_STREQ(first.ModuleName, second.ModuleName);
    EXPECT_STREQ(first.ComponentName, second.ComponentName);
    EXPECT_TRUE(HasSuffixAfter(Stem(second.CabName), Stem(first.CabName)) ||
                HasSuffixAfter(Stem(first.CabName), Stem(second.CabName)));
}

TEST(CatalogRows, InfNameShapes) {
    auto infStem = [](const CatalogRow& row) { return Stem(row.InfName); };
    auto different = RowsWhereCabStemIs(Relation::Different, infStem);
    auto caseOnly = RowsWhereCabStemIs(Relation::CaseOnly, infStem);
    ASSERT_EQ(different.size(), 2u);
    EXPECT_EQ(std::count_if(different.begin(), different.end(),
                            [](int i) {
                                const CatalogRow& row = CatalogRows()[i];
                                return HasSuffixAfter(Stem(row.InfName), Stem(row.CabName));
                            }),
              1);
    EXPECT_EQ(caseOnly.size(), 7u);
    EXPECT_EQ(std::count_if(caseOnly.begin(), caseOnly.end(),
                            [](int i) {
                                std::string inf = CatalogRows()[i].InfName;
                                return inf == Lower(inf);
                            }),
              3);
}

TEST(CatalogRows, ComponentNameShapes) {
    auto component = [](const CatalogRow& row) { return std::string(row.ComponentName); };
    EXPECT_EQ(RowsWhereCabStemIs(Relation::Different, component).size(), 22u);
    EXPECT_EQ(RowsWhereCabStemIs(Relation::CaseOnly, component).size(), 4u);
    EXPECT_EQ(RowsWhere([](const CatalogRow& row) { return std::string(row.ComponentName) == row.CabName; }),
              Range(90, 97));
}

}  // namespace
}  // namespace kelvane
