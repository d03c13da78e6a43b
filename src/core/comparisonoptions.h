#pragma once

#include "core/filteroptions.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>
#include <vector>

// The comparison options: what counts as a repeat and which copy stays. Each is defined once, in
// the table of comparisonoptions.cpp, and everything else reads it: the command line and its help,
// the options menu, the 比较范围 dialog, the description of the setup (the note, the tooltip),
// the remembered settings, the engine's choice between keying the bytes and keying the text, and
// KeyRule's equality.
//
// An option is a member of FilterOptions (the options menu's family) or of its KeyRule (the
// family of the part compared, set in the 比较范围 dialog): the member says which. It is a flag
// (a bool), a choice among named values (an enum), or a number (an int) that is off at its default
// of 0 and otherwise between a least and a greatest value.
//
// To add one: its member (with its default), its row in the table, what it does where keys are
// made (LineKeyMaker, KeyNormalizer) or where lines are kept (keeprules.h), a test of that, and
// its entry in docs/man/trennix-cli.1 (a test checks that the manual names every option).

// Where an option's member is, and so where the window offers it.
enum class OptionFamily {
    Menu, // a member of FilterOptions, in the options menu
    Key,  // a member of KeyRule, in the 比较范围 dialog with the part compared
};

// Reads and sets an option's member as a number: a flag's 0 or 1, an enum's value, a number's
// own. One of the two
// pairs is set, by the member's family.
struct OptionMember {
    OptionFamily family = OptionFamily::Menu;
    int (*get)(const FilterOptions&) = nullptr;
    void (*set)(FilterOptions&, int) = nullptr;
    int (*getInKey)(const KeyRule&) = nullptr;
    void (*setInKey)(KeyRule&, int) = nullptr;
};

// One value of a choice.
struct OptionChoice {
    int value;                           // the member's value
    const char* word;                    // on the command line and in the remembered settings
    const char16_t* label;               // in the menu, the note and the tooltip
    const char* objectName;              // of its item in the menu
    const char16_t* described = nullptr; // in the note and the tooltip, where not the label
};

struct ComparisonOption {
    OptionMember member;
    const char* name = nullptr;     // on the command line, after "--"
    const char16_t* help = nullptr; // in --help
    // The word the settings remember it by: among the words of the options (the menu's family),
    // or a field of the key's object (the part compared's). Settings written before must still
    // load: never change one.
    const char* settingsWord = nullptr;
    const char16_t* label = nullptr; // in the menu or the dialog
    // In the note and the tooltip, where not the label; a number's has %1 for its value.
    const char16_t* described = nullptr;
    const char16_t* tip = nullptr;    // the dialog's tooltip, if any
    const char* objectName = nullptr; // of its menu item or check box (a choice's: per item)
    // Set away from its default, it changes the text compared: keys are then made from the
    // decoded text, never from the bytes.
    bool transformsLines = false;
    // The kinds of key it means nothing with (KindBit), which refuse it: a phone number, an
    // e-mail address or a web address is read by its own rules.
    unsigned refusedByKinds = 0;
    const char16_t* valueName = nullptr;        // a choice's or a number's value in --help
    std::span<const OptionChoice> choices = {}; // a choice's values; none for a flag
    int minimum = 0;                            // a number's values when on; none for the others
    int maximum = 0;
    int usual = 0; // a number's value when it is turned on in the window
    // The options menu's sub-menu that holds it (its title and objectName), if any.
    const char16_t* subMenu = nullptr;
    const char* subMenuObjectName = nullptr;

    bool isNumber() const { return minimum < maximum; }
    bool isFlag() const { return choices.empty() && !isNumber(); }
};

constexpr unsigned KindBit(KeyRule::Kind kind) {
    return 1u << unsigned(kind);
}
constexpr unsigned kContactKinds =
    KindBit(KeyRule::Kind::Phone) | KindBit(KeyRule::Kind::Email) | KindBit(KeyRule::Kind::Url);

// Every comparison option, in the order the help, the menu, the dialog and the descriptions give
// them.
std::span<const ComparisonOption> ComparisonOptions();

// The rows that other code needs to tell from the others, found by their member: which copy stays
// (FilterOptions::keep), and what the part compared is read as (KeyRule::kind).
const ComparisonOption& KeepModeOption();
const ComparisonOption& KeyKindOption();

// An option's value in a setup, and its value by default.
int OptionValue(const ComparisonOption& option, const FilterOptions& options);
int OptionValue(const ComparisonOption& option, const KeyRule& key); // the part compared's
int DefaultOptionValue(const ComparisonOption& option);
void SetOptionValue(const ComparisonOption& option, FilterOptions& options, int value);
void SetOptionValue(const ComparisonOption& option, KeyRule& key, int value);

// A choice's word for a value ("last"), a number's digits; empty for a flag or a value it does
// not have.
QString OptionWord(const ComparisonOption& option, int value);
// The value of a choice's word or of a number's digits; nothing, with *error (when given) saying
// what the words (the numbers) are, for any other word.
std::optional<int> OptionValueOfWord(const ComparisonOption& option, QStringView word,
                                     QString* error = nullptr);

// The options of a family that differ from their default, each in the words of the note and the
// tooltip ("忽略大小写", "保留最后一次出现的行"), in the table's order.
QStringList DescribeOptions(const FilterOptions& options); // the menu's family
QStringList DescribeKeyOptions(const KeyRule& key);        // the part compared's

// Whether an option goes with a kind of key (see refusedByKinds).
inline bool OptionGoesWithKind(const ComparisonOption& option, KeyRule::Kind kind) {
    return (option.refusedByKinds & KindBit(kind)) == 0;
}
// The options set away from their default that the key's kind refuses, in the table's order.
std::vector<const ComparisonOption*> OptionsRefusedByKey(const FilterOptions& options);
// Turns those options back to their default (where the window sets a key, they go off), and
// near repeats off with a sum (SumRefusal).
void ResetRefusedOptions(FilterOptions& options);

// Whether the options of the part compared are the same in both.
bool SameKeyOptions(const KeyRule& a, const KeyRule& b);

// The options of the menu's family as the program remembers them: for what differs from the
// default, a flag's word ("ignore-case") or a choice's word, "=" and its value's ("keep=last"),
// separated by spaces; empty for the default. Read back, words it does not know are passed over.
// The part compared is remembered with the key (see KeyRuleToText).
QString FilterOptionsToText(const FilterOptions& options);
FilterOptions FilterOptionsFromText(const QString& text);
