#pragma once
#include <QString>
#include <QStringList>

#include <functional>

namespace storage {
class Store;
}

// Brings a file up to the schema this program makes, one numbered step after the other, each
// in a write transaction of its own that first looks again at the file's version (another copy
// may have done the step meanwhile). Version 1 is the base: a file made before an index or the
// change log joined it gets them (an index once costs a pass over the table). A file that will
// not take a step is used as it is, the steps done before it kept, and the user hears why.
//
// It works on a store alone, so that it can run on a handle of its own in another thread while
// the window that shows how far it has come goes on being served.
namespace SchemaUpgrade {
struct Outcome {
    QStringList notices; // what the user should hear of; empty when all went well
    bool foreignLog = false; // the file holds another program's table under the change log's name
    bool changed = false;    // a step was committed
};

// The parts of the work, in order: told before each with its number (from 0) and their count.
using Progress = std::function<void(int part, int parts, const QString& what)>;

// Whether the file lacks a step or something the base makes (a quick look at its schema).
bool needed(storage::Store& store);
Outcome run(storage::Store& store, const Progress& progress = {});
} // namespace SchemaUpgrade
