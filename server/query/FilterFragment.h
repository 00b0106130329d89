#pragma once
// The filter fragment of GetFiltroDest: a chain of conditions written by the
// filter dialog, read by a strict grammar into bound conditions. Nothing of the
// fragment ever becomes SQL text; anything outside the grammar is refused with
// a message naming where and what was expected.
//
//   fragment    := blanks? { condition }
//   condition   := "AND" blanks column-expr blanks ("=" | "LIKE") blanks literal blanks?
//   column-expr := column | "UPPER(" column ")"
//   column      := STAGRVALPROP | STVALORPROP | CDPROGTRAD | NMCOMPONENTE
//   literal     := "'" { character, a quote written twice } "'"
//   condition   := "AND" blanks "REVISADO" blanks "=" blanks ("'S'" | "'N'")   (the review mark)
//
// Conditions are separated by blanks; keywords and columns are upper case, as
// the dialog writes them.
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

// Reviewed is the review mark (literal "S" or "N", always Equal): the
// storage selects it by RowSelection::reviewed, never as a column.
enum class FilterColumn { SourceText, DestinationText, Program, Component, Reviewed };
enum class FilterOperator { Equal, Like };

struct FilterCondition {
    FilterColumn column = FilterColumn::SourceText;
    bool upper = false; // UPPER(column): compare the Windows-1252 upper-case fold
    FilterOperator op = FilterOperator::Equal;
    std::string literal; // UTF-8, quotes undoubled

    bool operator==(const FilterCondition&) const = default;
};

// The database column a filter column stands for.
const char* columnName(FilterColumn column);

// Parses a fragment; an empty or all-blank fragment gives no condition.
// Throws a BadArgument ServerError with "Filtro inválido: ..." on anything else.
std::vector<FilterCondition> parseFilterFragment(std::string_view fragment);

} // namespace trd::server
