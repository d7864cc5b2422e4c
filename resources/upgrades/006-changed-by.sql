-- Who last changed each person and when (UTC, as the history writes it), so that the question
-- about another user's change can name them. A row written by a program that does not set them
-- keeps what was there before. The trash keeps them with the person, so a restored person is
-- as they were.
ALTER TABLE "People" ADD COLUMN "ChangedBy" TEXT;
ALTER TABLE "People" ADD COLUMN "ChangedAt" TEXT;
ALTER TABLE "TrashPeople" ADD COLUMN "ChangedBy" TEXT;
ALTER TABLE "TrashPeople" ADD COLUMN "ChangedAt" TEXT;
