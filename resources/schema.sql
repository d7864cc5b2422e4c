-- Vantrel database: the twelve tables and the rows a delivered database needs.
-- Text widths are checked by the database itself, so a value that is too long is refused
-- with an error naming the column. Dates are ISO 8601 text, yes/no is 0/1 or NULL.
-- AUTOINCREMENT keeps a deleted row's number from ever being handed out again.
PRAGMA journal_mode = WAL;

CREATE TABLE "Companies" (
  "CompanyID" INTEGER PRIMARY KEY AUTOINCREMENT,
  "Name" TEXT COLLATE NOCASE,
  "Address" TEXT COLLATE NOCASE,
  "Tel1" TEXT COLLATE NOCASE,
  "Tel2" TEXT COLLATE NOCASE,
  "Fax" TEXT COLLATE NOCASE,
  "MainActivities" TEXT COLLATE NOCASE,
  "Comments" TEXT COLLATE NOCASE
);

CREATE TABLE "People" (
  "PersonID" INTEGER PRIMARY KEY AUTOINCREMENT,
  "CompanyID" INTEGER,
  "Name" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.Name is longer than 255 characters" CHECK (length("Name") <= 255),
  "Title" VARCHAR(10) COLLATE NOCASE CONSTRAINT "People.Title is longer than 10 characters" CHECK (length("Title") <= 10),
  "Gender" VARCHAR(10) COLLATE NOCASE CONSTRAINT "People.Gender is longer than 10 characters" CHECK (length("Gender") <= 10),
  "PersonType" VARCHAR(10) COLLATE NOCASE CONSTRAINT "People.PersonType is longer than 10 characters" CHECK (length("PersonType") <= 10),
  "CustoemrImportance" VARCHAR(10) COLLATE NOCASE CONSTRAINT "People.CustoemrImportance is longer than 10 characters" CHECK (length("CustoemrImportance") <= 10),
  "Language" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.Language is longer than 50 characters" CHECK (length("Language") <= 50),
  "Income" VARCHAR(25) COLLATE NOCASE CONSTRAINT "People.Income is longer than 25 characters" CHECK (length("Income") <= 25),
  "EducationLevel" VARCHAR(100) COLLATE NOCASE CONSTRAINT "People.EducationLevel is longer than 100 characters" CHECK (length("EducationLevel") <= 100),
  "Profession" VARCHAR(150) COLLATE NOCASE CONSTRAINT "People.Profession is longer than 150 characters" CHECK (length("Profession") <= 150),
  "Birthday" DATETIME,
  "Breminder" BOOLEAN CHECK ("Breminder" IN (0, 1)),
  "Household" VARCHAR(35) COLLATE NOCASE CONSTRAINT "People.Household is longer than 35 characters" CHECK (length("Household") <= 35),
  "Spouse" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.Spouse is longer than 255 characters" CHECK (length("Spouse") <= 255),
  "Anniversary" DATETIME,
  "Areminder" BOOLEAN CHECK ("Areminder" IN (0, 1)),
  "Children" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.Children is longer than 255 characters" CHECK (length("Children") <= 255),
  "HAStreet" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.HAStreet is longer than 255 characters" CHECK (length("HAStreet") <= 255),
  "HACity" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.HACity is longer than 50 characters" CHECK (length("HACity") <= 50),
  "HAState" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.HAState is longer than 50 characters" CHECK (length("HAState") <= 50),
  "HAPostalCode" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.HAPostalCode is longer than 255 characters" CHECK (length("HAPostalCode") <= 255),
  "HACountry" VARCHAR(30) COLLATE NOCASE CONSTRAINT "People.HACountry is longer than 30 characters" CHECK (length("HACountry") <= 30),
  "HAPostOfficeBox" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.HAPostOfficeBox is longer than 255 characters" CHECK (length("HAPostOfficeBox") <= 255),
  "PrimaryTel" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.PrimaryTel is longer than 50 characters" CHECK (length("PrimaryTel") <= 50),
  "Mobile" VARCHAR(30) COLLATE NOCASE CONSTRAINT "People.Mobile is longer than 30 characters" CHECK (length("Mobile") <= 30),
  "TelH1" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.TelH1 is longer than 50 characters" CHECK (length("TelH1") <= 50),
  "TelH2" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.TelH2 is longer than 50 characters" CHECK (length("TelH2") <= 50),
  "FaxH" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.FaxH is longer than 50 characters" CHECK (length("FaxH") <= 50),
  "Email1" VARCHAR(100) COLLATE NOCASE CONSTRAINT "People.Email1 is longer than 100 characters" CHECK (length("Email1") <= 100),
  "Email2" VARCHAR(100) COLLATE NOCASE CONSTRAINT "People.Email2 is longer than 100 characters" CHECK (length("Email2") <= 100),
  "Telex" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.Telex is longer than 50 characters" CHECK (length("Telex") <= 50),
  "HomePage" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.HomePage is longer than 255 characters" CHECK (length("HomePage") <= 255),
  "Company" VARCHAR(150) COLLATE NOCASE CONSTRAINT "People.Company is longer than 150 characters" CHECK (length("Company") <= 150),
  "CompanySize" VARCHAR(30) COLLATE NOCASE CONSTRAINT "People.CompanySize is longer than 30 characters" CHECK (length("CompanySize") <= 30),
  "Industry" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.Industry is longer than 50 characters" CHECK (length("Industry") <= 50),
  "Department" VARCHAR(100) COLLATE NOCASE CONSTRAINT "People.Department is longer than 100 characters" CHECK (length("Department") <= 100),
  "JobTitle" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.JobTitle is longer than 255 characters" CHECK (length("JobTitle") <= 255),
  "BAStreet" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.BAStreet is longer than 255 characters" CHECK (length("BAStreet") <= 255),
  "BACity" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.BACity is longer than 50 characters" CHECK (length("BACity") <= 50),
  "BAState" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.BAState is longer than 50 characters" CHECK (length("BAState") <= 50),
  "BAPostalCode" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.BAPostalCode is longer than 255 characters" CHECK (length("BAPostalCode") <= 255),
  "BACountry" VARCHAR(30) COLLATE NOCASE CONSTRAINT "People.BACountry is longer than 30 characters" CHECK (length("BACountry") <= 30),
  "BAPostOfficeBox" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.BAPostOfficeBox is longer than 255 characters" CHECK (length("BAPostOfficeBox") <= 255),
  "MailingAddress" VARCHAR(10) COLLATE NOCASE CONSTRAINT "People.MailingAddress is longer than 10 characters" CHECK (length("MailingAddress") <= 10),
  "BillingAddress" VARCHAR(10) COLLATE NOCASE CONSTRAINT "People.BillingAddress is longer than 10 characters" CHECK (length("BillingAddress") <= 10),
  "TelMain" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.TelMain is longer than 50 characters" CHECK (length("TelMain") <= 50),
  "TelCallback" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.TelCallback is longer than 50 characters" CHECK (length("TelCallback") <= 50),
  "TelB1" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.TelB1 is longer than 50 characters" CHECK (length("TelB1") <= 50),
  "TelB2" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.TelB2 is longer than 50 characters" CHECK (length("TelB2") <= 50),
  "Ext" VARCHAR(10) COLLATE NOCASE CONSTRAINT "People.Ext is longer than 10 characters" CHECK (length("Ext") <= 10),
  "FaxB1" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.FaxB1 is longer than 50 characters" CHECK (length("FaxB1") <= 50),
  "FaxB2" VARCHAR(50) COLLATE NOCASE CONSTRAINT "People.FaxB2 is longer than 50 characters" CHECK (length("FaxB2") <= 50),
  "WebPage" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.WebPage is longer than 255 characters" CHECK (length("WebPage") <= 255),
  "AssistantName" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.AssistantName is longer than 255 characters" CHECK (length("AssistantName") <= 255),
  "ManagerName" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.ManagerName is longer than 255 characters" CHECK (length("ManagerName") <= 255),
  "ProspectingMethod" VARCHAR(100) COLLATE NOCASE CONSTRAINT "People.ProspectingMethod is longer than 100 characters" CHECK (length("ProspectingMethod") <= 100),
  "OfferedSolution" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.OfferedSolution is longer than 255 characters" CHECK (length("OfferedSolution") <= 255),
  "Ethnic" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.Ethnic is longer than 255 characters" CHECK (length("Ethnic") <= 255),
  "Hobbies" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.Hobbies is longer than 255 characters" CHECK (length("Hobbies") <= 255),
  "Info" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.Info is longer than 255 characters" CHECK (length("Info") <= 255),
  "Address" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.Address is longer than 255 characters" CHECK (length("Address") <= 255),
  "Email" VARCHAR(64) COLLATE NOCASE CONSTRAINT "People.Email is longer than 64 characters" CHECK (length("Email") <= 64),
  "ProfessionID" INTEGER,
  "ReferredBy" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.ReferredBy is longer than 255 characters" CHECK (length("ReferredBy") <= 255),
  "ProspectingData" VARCHAR(255) COLLATE NOCASE CONSTRAINT "People.ProspectingData is longer than 255 characters" CHECK (length("ProspectingData") <= 255)
);
CREATE INDEX "PeopleCompanyID" ON "People" ("CompanyID");
CREATE INDEX "PeopleProfession" ON "People" ("Profession");
CREATE INDEX "PeopleCompany" ON "People" ("Company");
CREATE INDEX "PeopleOfferedSolution" ON "People" ("OfferedSolution");
-- The import's duplicate test: a person of a company with a name and a first e-mail address.
CREATE INDEX "PeopleDuplicate" ON "People" ("CompanyID", "Name", "Email1");
-- The reminders: the month and the day of each date whose reminder is on.
CREATE INDEX "PeopleBirthdayReminder" ON "People" (substr("Birthday", 6, 2), substr("Birthday", 9, 2)) WHERE "Breminder" <> 0;
CREATE INDEX "PeopleAnniversaryReminder" ON "People" (substr("Anniversary", 6, 2), substr("Anniversary", 9, 2)) WHERE "Areminder" <> 0;
-- What changed in People, so that a copy of the program with the list open re-reads only those
-- people after another program writes: every insert, update and delete leaves the PersonID here,
-- whoever makes it; the oldest entries go as new ones come.
CREATE TABLE "PeopleChanges" ("Seq" INTEGER PRIMARY KEY, "PersonID" INTEGER);
CREATE TRIGGER "PeopleInsertLog" AFTER INSERT ON "People" BEGIN INSERT INTO "PeopleChanges" ("PersonID") VALUES (NEW."PersonID"); DELETE FROM "PeopleChanges" WHERE "Seq" <= last_insert_rowid() - 20000; END;
CREATE TRIGGER "PeopleUpdateLog" AFTER UPDATE ON "People" BEGIN INSERT INTO "PeopleChanges" ("PersonID") SELECT NEW."PersonID" WHERE NEW."PersonID" IS NOT OLD."PersonID"; INSERT INTO "PeopleChanges" ("PersonID") VALUES (OLD."PersonID"); DELETE FROM "PeopleChanges" WHERE "Seq" <= last_insert_rowid() - 20000; END;
CREATE TRIGGER "PeopleDeleteLog" AFTER DELETE ON "People" BEGIN INSERT INTO "PeopleChanges" ("PersonID") VALUES (OLD."PersonID"); DELETE FROM "PeopleChanges" WHERE "Seq" <= last_insert_rowid() - 20000; END;

CREATE TABLE "QuestionsMain" (
  "PersonID" INTEGER,
  "QuestionID" INTEGER,
  "Answer" INTEGER
);
CREATE INDEX "QuestionsMainPersonID" ON "QuestionsMain" ("PersonID");

CREATE TABLE "PeopleFollowUp" (
  "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
  "PersonID" INTEGER,
  "FUDate" DATETIME,
  "ContactMethod" VARCHAR(10) COLLATE NOCASE CONSTRAINT "PeopleFollowUp.ContactMethod is longer than 10 characters" CHECK (length("ContactMethod") <= 10),
  "ProductsInterestedIn" VARCHAR(255) COLLATE NOCASE CONSTRAINT "PeopleFollowUp.ProductsInterestedIn is longer than 255 characters" CHECK (length("ProductsInterestedIn") <= 255),
  "ExpextedOrderValue" INTEGER,
  "ExpectedOrderDate" DATETIME,
  "FUDescription" VARCHAR(255) COLLATE NOCASE CONSTRAINT "PeopleFollowUp.FUDescription is longer than 255 characters" CHECK (length("FUDescription") <= 255),
  "FUContactMethod" INTEGER
);
CREATE INDEX "PeopleFollowUpPersonID" ON "PeopleFollowUp" ("PersonID");

CREATE TABLE "FollowUpMethod" (
  "FUmethodID" INTEGER PRIMARY KEY,
  "FUmethodName" VARCHAR(10) COLLATE NOCASE CONSTRAINT "FollowUpMethod.FUmethodName is longer than 10 characters" CHECK (length("FUmethodName") <= 10)
);

CREATE TABLE "Projects" (
  "ProjectID" INTEGER PRIMARY KEY AUTOINCREMENT,
  "CompanyID" INTEGER,
  "Name" CHAR(255) COLLATE NOCASE CONSTRAINT "Projects.Name is longer than 255 characters" CHECK (length("Name") <= 255),
  "Code" CHAR(255) COLLATE NOCASE CONSTRAINT "Projects.Code is longer than 255 characters" CHECK (length("Code") <= 255),
  "Comments" CHAR(512) COLLATE NOCASE CONSTRAINT "Projects.Comments is longer than 512 characters" CHECK (length("Comments") <= 512)
);

CREATE TABLE "SubProjects" (
  "SubProjectID" INTEGER PRIMARY KEY AUTOINCREMENT,
  "ProjectID" INTEGER,
  "SubProjectTypeID" INTEGER,
  "SizeID" INTEGER,
  "Name" CHAR(255) COLLATE NOCASE CONSTRAINT "SubProjects.Name is longer than 255 characters" CHECK (length("Name") <= 255),
  "Code" CHAR(255) COLLATE NOCASE CONSTRAINT "SubProjects.Code is longer than 255 characters" CHECK (length("Code") <= 255),
  "Comments" CHAR(512) COLLATE NOCASE CONSTRAINT "SubProjects.Comments is longer than 512 characters" CHECK (length("Comments") <= 512)
);

CREATE TABLE "SubProjectHistory" (
  "ID" INTEGER PRIMARY KEY AUTOINCREMENT,
  "SubProjectID" INTEGER,
  "SubProjectStatusID" INTEGER,
  "Date" DATETIME,
  "FollowUpComments" VARCHAR(255) COLLATE NOCASE CONSTRAINT "SubProjectHistory.FollowUpComments is longer than 255 characters" CHECK (length("FollowUpComments") <= 255)
);

CREATE TABLE "SubProjectStatus" (
  "SPStatusID" INTEGER PRIMARY KEY,
  "SPStatusName" VARCHAR(64) COLLATE NOCASE CONSTRAINT "SubProjectStatus.SPStatusName is longer than 64 characters" CHECK (length("SPStatusName") <= 64)
);

CREATE TABLE "SubProjectType" (
  "SPTypeID" INTEGER PRIMARY KEY,
  "SPTypeName" CHAR(64) COLLATE NOCASE CONSTRAINT "SubProjectType.SPTypeName is longer than 64 characters" CHECK (length("SPTypeName") <= 64),
  "Comments" CHAR(255) COLLATE NOCASE CONSTRAINT "SubProjectType.Comments is longer than 255 characters" CHECK (length("Comments") <= 255)
);

CREATE TABLE "SubProjectSize" (
  "ID" INTEGER PRIMARY KEY,
  "Name" TEXT COLLATE NOCASE
);

CREATE TABLE "Business" (
  "PersonID" INTEGER,
  "SubProjectID" INTEGER,
  "SPDecisionMaker" BOOLEAN CHECK ("SPDecisionMaker" IN (0, 1)),
  "SPUser" BOOLEAN CHECK ("SPUser" IN (0, 1)),
  "SPInfluencer" BOOLEAN CHECK ("SPInfluencer" IN (0, 1)),
  "SPPurchaser" BOOLEAN CHECK ("SPPurchaser" IN (0, 1)),
  "SPGateKeeper" BOOLEAN CHECK ("SPGateKeeper" IN (0, 1)),
  "SPWeight" INTEGER
);
CREATE INDEX "BusinessPersonID" ON "Business" ("PersonID");
CREATE INDEX "BusinessSubProjectID" ON "Business" ("SubProjectID");

INSERT INTO "Companies" ("CompanyID", "Name") VALUES (1, 'My company');
INSERT INTO "SubProjectStatus" ("SPStatusID", "SPStatusName") VALUES (1, 'Open'), (2, 'Won'), (3, 'Lost');
INSERT INTO "SubProjectType" ("SPTypeID", "SPTypeName", "Comments") VALUES
  (1, 'Standard', 'An ordinary sale of an existing product or service.'),
  (2, 'Custom', 'A solution built to the customer''s own requirements.'),
  (3, 'New', 'A subproject whose type is not settled yet.');
INSERT INTO "SubProjectSize" ("ID", "Name") VALUES (1, 'Small'), (2, 'Medium'), (3, 'Large');
INSERT INTO "FollowUpMethod" ("FUmethodID", "FUmethodName") VALUES
  (1, 'Visit'), (2, 'Telephone'), (3, 'Fax'), (4, 'Email'), (5, 'SMS'), (6, 'Other');
