#pragma once

// Test support: a presentation with every kind of text the writers tell apart.

#include "engine/base/presentationText.h"

/// Three slides: the first with lists, a table, a diagram, a chart, a picture, notes and
/// comments, and text that would be Markdown of its own; the second hidden and untitled; the
/// third a title only.
inline ThvPresentationText MixedDeck() {
    ThvPresentationText deck;
    ThvSlideText& first = deck.Slides.emplace_back();
    first.HasTitle = true;
    first.Title = "Plans # for 2026";
    first.Body.emplace_back(0, "Point");
    first.Body.emplace_back(1, "Sub *point*");
    // Two levels below the one before: nested one level only, or it would read as code.
    first.Body.emplace_back(3, "Deep");
    first.Body.emplace_back(0, "# not a heading\nsecond line");
    ThvParagraph& header = first.Body.emplace_back(0, "Name\tNote", ThvTextKind::TableRow, 1);
    header.CellEnds = {4, 9};
    ThvParagraph& row = first.Body.emplace_back(0, "a|b\tone\ntwo", ThvTextKind::TableRow, 1);
    row.CellEnds = {3, 11};
    first.Body.emplace_back(0, "Root", ThvTextKind::Diagram, 2);
    first.Body.emplace_back(1, "Child", ThvTextKind::Diagram, 2);
    first.Body.emplace_back(0, "Sales", ThvTextKind::ChartTitle, 3);
    first.Body.emplace_back(0, "North", ThvTextKind::Chart, 3);
    first.Body.emplace_back(0, "A red kite", ThvTextKind::Picture);
    first.Notes.emplace_back(0, "Say hello");
    first.Notes.emplace_back(0, "2024. was good");
    first.Comments.push_back({"Ann", "Check this"});
    first.Comments.push_back({"", "Anonymous"});
    ThvSlideText& hidden = deck.Slides.emplace_back();
    hidden.Hidden = true;
    hidden.Body.emplace_back(0, "1) Hidden point");
    ThvSlideText& last = deck.Slides.emplace_back();
    last.HasTitle = true;
    last.Title = "Last";
    return deck;
}
