-- The history of the people: one row per column a save changed, with what it held before and
-- after, when and by whom. OldValue and NewValue are untyped, so every value is kept as stored.
-- OverOthers is 1 when the user chose to save over another user's change of the person.
CREATE TABLE "PeopleHistory" (
  "HistoryID" INTEGER PRIMARY KEY,
  "PersonID" INTEGER NOT NULL,
  "ChangedAt" TEXT NOT NULL,
  "ChangedBy" TEXT,
  "Field" TEXT NOT NULL,
  "OldValue",
  "NewValue",
  "OverOthers" INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX "PeopleHistoryPerson" ON "PeopleHistory" ("PersonID", "HistoryID");
