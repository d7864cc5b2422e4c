-- The trash: people taken out of the list with their follow-up activities and questionnaire
-- answers, until they are restored, deleted for ever, or dropped 90 days after they went.
-- The copied columns are the tables' own, untyped so that every value comes back as it was;
-- UndoneImportID names the import whose undo took the person back (NULL: deleted on her own).
CREATE TABLE "TrashPeople" (
  "TrashID" INTEGER PRIMARY KEY,
  "DeletedAt" TEXT NOT NULL,
  "DeletedBy" TEXT,
  "UndoneImportID" INTEGER,
  "PersonID", "CompanyID", "Name", "Title", "Gender", "PersonType", "CustoemrImportance",
  "Language", "Income", "EducationLevel", "Profession", "Birthday", "Breminder", "Household",
  "Spouse", "Anniversary", "Areminder", "Children", "HAStreet", "HACity", "HAState",
  "HAPostalCode", "HACountry", "HAPostOfficeBox", "PrimaryTel", "Mobile", "TelH1", "TelH2", "FaxH",
  "Email1", "Email2", "Telex", "HomePage", "Company", "CompanySize", "Industry", "Department",
  "JobTitle", "BAStreet", "BACity", "BAState", "BAPostalCode", "BACountry", "BAPostOfficeBox",
  "MailingAddress", "BillingAddress", "TelMain", "TelCallback", "TelB1", "TelB2", "Ext", "FaxB1",
  "FaxB2", "WebPage", "AssistantName", "ManagerName", "ProspectingMethod", "OfferedSolution",
  "Ethnic", "Hobbies", "Info", "Address", "Email", "ProfessionID", "ReferredBy", "ProspectingData"
);
CREATE INDEX "TrashPeopleDeletedAt" ON "TrashPeople" ("DeletedAt");
CREATE INDEX "TrashPeopleImport" ON "TrashPeople" ("UndoneImportID");

CREATE TABLE "TrashFollowUp" (
  "TrashFollowUpID" INTEGER PRIMARY KEY,
  "TrashID" INTEGER NOT NULL,
  "ID", "PersonID", "FUDate", "ContactMethod", "ProductsInterestedIn", "ExpextedOrderValue",
  "ExpectedOrderDate", "FUDescription", "FUContactMethod"
);
CREATE INDEX "TrashFollowUpTrashID" ON "TrashFollowUp" ("TrashID");

CREATE TABLE "TrashAnswers" (
  "TrashAnswerID" INTEGER PRIMARY KEY,
  "TrashID" INTEGER NOT NULL,
  "PersonID", "QuestionID", "Answer"
);
CREATE INDEX "TrashAnswersTrashID" ON "TrashAnswers" ("TrashID");

-- Each import that added people, and what each person it added looked like when it was added,
-- so that the import can be taken back as long as nobody has changed them since.
CREATE TABLE "Imports" (
  "ImportID" INTEGER PRIMARY KEY,
  "FileName" TEXT,
  "ImportedAt" TEXT NOT NULL,
  "ImportedBy" TEXT,
  "Added" INTEGER NOT NULL DEFAULT 0,
  "UndoneAt" TEXT,
  "UndoneBy" TEXT
);
CREATE TABLE "ImportedPeople" (
  "ImportedPersonID" INTEGER PRIMARY KEY,
  "ImportID" INTEGER NOT NULL,
  "PersonID" INTEGER NOT NULL,
  "Fingerprint" INTEGER
);
CREATE INDEX "ImportedPeopleImportID" ON "ImportedPeople" ("ImportID");
