#pragma once

struct ProxyRecord;

// What the search needs of the result table: the table provides it, and the list view adapter over it for
// the window; the search never sees a widget. A row is written whole, in one call.
class ResultList
{
public:
    virtual ~ResultList() = default;

    // Removes every row.
    virtual void Clear() = 0;

    // Appends the record as a row keyed by its address, ":" and port, and returns true; returns false
    // when the list already holds that key, leaving the list unchanged.
    virtual bool Add(const ProxyRecord& record) = 0;

    // A record that one of the next calls to Add() will probably bring: the list may start fetching what
    // it needs to place it, so that Add() does not wait for memory. Its texts must stay where and as they
    // are until then: the list may recognise it by where they lie.
    virtual void foresee(const ProxyRecord& record) { (void)record; }

    // Rows added between these two calls may reach a view as a single insertion. A long page is cut in
    // stretches, each between its own pair of calls.
    virtual void beginPage() { }
    virtual void endPage() { }
};
