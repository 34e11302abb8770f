#include "ImportQsoSet.h"

#include "logdb/CQSO2006SRC.h"

#include <iterator>

ImportQsoSet::ImportQsoSet(QString databasePath, std::shared_ptr<Connection> db, bool allColumns)
    : CRecordset(std::move(db)), m_databasePath(std::move(databasePath)), m_allColumns(allColumns)
{
}

std::vector<CRecordset::Binding> ImportQsoSet::bindings()
{
    const std::pair<const char*, QString*> texts[] = {
        {"[QSO-DATE]", &qsoDate},       {"[QSO-TIME]", &qsoTime},         {"[QSO-CALL]", &qsoCall},
        {"[QSO-MODE]", &qsoMode},       {"[QSO-BAND]", &qsoBand},         {"[QSO-OPRCALL]", &qsoOprCall},
        {"[QSO-CONFIRM]", &qsoConfirm}, {"[QSO-LOTWREC]", &qsoLotwRec},   {"[QSO-CQ-ZONE]", &qsoCqZone},
        {"[QSO-ITU-ZONE]", &qsoItuZone}, {"[QSO-STATE]", &qsoState},      {"[QSO-COUNTY]", &qsoCounty},
        {"[QSO-IOTA]", &qsoIota},       {"[QSO-GRID]", &qsoGrid},
    };
    const QString award = QStringLiteral("[QSO-AWARD]");
    auto member = [&](const ColumnSpec& spec) -> void* {
        if (spec.name == award)
            return &qsoAward;
        for (const auto& [name, text] : texts) {
            if (spec.name == QLatin1String(name))
                return text;
        }
        return nullptr;
    };

    std::vector<Binding> result;
    if (!m_allColumns) {
        // Rows known by their rowid: the search columns are not needed (the first five).
        for (std::size_t i = 5; i < std::size(texts); ++i)
            result.push_back(Binding{{QString::fromLatin1(texts[i].first), ColumnType::Text}, texts[i].second});
        result.push_back(Binding{{award, ColumnType::Long}, &qsoAward});
        return result;
    }
    const std::vector<ColumnSpec>& all = CQSO2006SRC::columnSpecs();
    // Sized once, so the addresses bound below stay valid.
    m_otherTexts.assign(all.size(), QString());
    m_otherLongs.assign(all.size(), 0);
    for (std::size_t i = 0; i < all.size(); ++i) {
        void* bound = member(all[i]);
        if (!bound)
            bound = all[i].type == ColumnType::Text ? static_cast<void*>(&m_otherTexts[i]) : &m_otherLongs[i];
        result.push_back(Binding{all[i], bound});
    }
    return result;
}
