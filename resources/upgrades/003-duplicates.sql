-- Duplicates: the pairs the user said are different people, and every merge with what it needs
-- to be undone. People itself is unchanged.
CREATE TABLE "NotDuplicates" (
  "ID" INTEGER PRIMARY KEY,
  "PersonID1" INTEGER NOT NULL,
  "PersonID2" INTEGER NOT NULL,
  CONSTRAINT "NotDuplicates.PersonID1 must be the smaller" CHECK ("PersonID1" < "PersonID2"),
  UNIQUE ("PersonID1", "PersonID2")
);
-- One row per merge. "Before" holds, as JSON, every person of the group as they were, with
-- their answers, the follow-up activities and buying roles that moved; "After" the kept person
-- as the merge left them, so that an undo can tell whether they were changed since.
CREATE TABLE "Merges" (
  "MergeID" INTEGER PRIMARY KEY,
  "MergedAt" DATETIME NOT NULL,
  "KeptID" INTEGER NOT NULL,
  "Names" TEXT,
  "Before" TEXT NOT NULL,
  "After" TEXT NOT NULL,
  "UndoneAt" DATETIME
);
