-- The follow-ups due and the expected orders are found by their dates, not by a pass over every
-- activity on file.
CREATE INDEX "PeopleFollowUpFUDate" ON "PeopleFollowUp" ("FUDate");
CREATE INDEX "PeopleFollowUpExpectedOrderDate" ON "PeopleFollowUp" ("ExpectedOrderDate");
