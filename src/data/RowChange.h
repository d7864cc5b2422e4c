#pragma once

// What happened to a dataset's rows, told to views before they redisplay: one row that came or
// went at a place, or rows that came and went in numbers only a new start of the view shows.
// Rows whose number stayed the same are not told of: the view repaints them.
struct RowChange {
    enum Kind { Inserted, Removed, Reset };
    Kind kind = Reset;
    int row = -1; // where a row came or went; -1 for Reset
};
