#!/usr/bin/env bash
# Remakes the pictures of the help pages (resources/help/pictures/*.png) from the built program
# under a virtual display, on a database of a few sample people: rerun it when a window changes,
# and look at the pictures before committing them. The help window's pages are about 430 pixels
# wide: a picture is the window at its real size when it fits, the part its page talks about at
# its real size when the text would be too small scaled, and otherwise the window scaled to fit.
#   usage: scripts/make-help-pictures.sh [display]   (default :99; installs Xvfb, xdotool,
#          imagemagick and sqlite3 when missing; needs a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
out=resources/help/pictures
raw=$work/raw
mkdir "$raw"
cp build/bin/vantrel "$work/" && cp -r resources/help "$work/"
build/bin/vantrel-makedb "$work/Vantrel.vt" >/dev/null
today=$(date +%m-%d)
sqlite3 "$work/Vantrel.vt" <<SQL
INSERT INTO People (CompanyID, Name, Title, Gender, PersonType, CustoemrImportance, Birthday, Breminder,
  Language, Income, EducationLevel, Profession, Household, Spouse, Anniversary, Areminder, HACity, HACountry,
  Mobile, Email1, Company, CompanySize, Industry, Department, JobTitle, BAStreet, BACity, BAState, BACountry,
  MailingAddress, BillingAddress, TelMain, WebPage, AssistantName, ProspectingMethod, Hobbies, Info) VALUES
 (1, 'Anna Berg', 'Mrs.', 'Female', 'Customer', 'High', '1980-$today', 1, 'English, French', '75,000 - 99,999',
  'Master''s', 'Architect', 'Married with dependent children', 'Kim', '2006-06-17', 1, 'Ottawa', 'Canada',
  '613 555 0100', 'anna.berg@example.com', 'Acme Ltd', 'Medium', 'Retail', 'Purchasing', 'Buyer',
  '12 Bank Street', 'Ottawa', 'ON', 'Canada', 'Business', 'Business', '613 555 0199', 'www.example.com',
  'Lee Park', 'Seminar', 'Sailing', 'Prefers calls in the morning'),
 (1, 'Andrew Cole', 'Mr.', 'Male', 'Prospect', 'Medium', '1975-01-30', 0, 'English', '100,000 - 124,999',
  'Bachelor''s', 'Engineer', 'Married with grown children', 'Sam', '1996-$today', 1, 'Ottawa', 'Canada',
  '613 555 0142', 'a.cole@example.com', 'Northwind Traders', 'Large', 'Transportation', 'Fleet', 'Manager',
  '300 King Road', 'Ottawa', 'ON', 'Canada', 'Business', 'Business', '613 555 0150', NULL, NULL,
  'Trade show', 'Golf', NULL),
 (1, 'Bob Dean', 'Mr.', 'Male', 'Customer', 'Low', NULL, 0, 'English', '50,000 - 59,999', 'College',
  'Pharmacist', 'Single', NULL, NULL, 0, 'Toronto', 'Canada', '416 555 0107', 'bob.dean@example.com',
  'Dean Pharmacy', 'Small', 'Health', NULL, 'Owner', '5 Queen Street', 'Toronto', 'ON', 'Canada', 'Home',
  'Business', '416 555 0108', NULL, NULL, 'Past customer', 'Chess', NULL),
 (1, 'Carla Diaz', 'Ms.', 'Female', 'Prospect', 'High', '1988-11-04', 1, 'English, Spanish',
  '60,000 - 74,999', 'Master''s', 'Accountant', 'Single', NULL, NULL, 0, 'Ottawa', 'Canada', '613 555 0175',
  'carla.diaz@example.com', 'Acme Ltd', 'Medium', 'Retail', 'Finance', 'Controller', '12 Bank Street',
  'Ottawa', 'ON', 'Canada', 'Business', 'Business', '613 555 0199', NULL, NULL, 'Endless chain', 'Running', NULL),
 (1, 'Dmitri Ivanov', 'Dr.', 'Male', 'Prospect', 'Medium', NULL, 0, 'English, Russian', '125,000 - 149,999',
  'PhD', 'Physician', 'Married with no children', 'Olga', NULL, 0, 'Kingston', 'Canada', '613 555 0163',
  'd.ivanov@example.com', 'Lakeside Clinic', 'Small-medium', 'Health', NULL, 'Director', '40 Lake Road',
  'Kingston', 'ON', 'Canada', 'Business', 'Home', '613 555 0160', NULL, NULL, 'Center of influence',
  'Photography', NULL);
INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn, ExpextedOrderValue,
  ExpectedOrderDate, FUDescription) VALUES
 (1, '2026-02-11', 'Telephone', 'Spare parts', 2500, NULL, 'Asked for a price list'),
 (1, '2026-03-05', 'Visit', 'Store fittings', 12000, '2026-06-01', 'First meeting at their office'),
 (1, '2026-03-19', 'Email', 'Store fittings', 12000, '2026-06-01', 'Sent the offer; call back in a week');
SQL
# A year of expected orders around today for the pipeline window, and follow-ups due this fortnight.
sqlite3 "$work/Vantrel.vt" "INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn,
  ExpextedOrderValue, ExpectedOrderDate, FUDescription)
  SELECT 2 + n % 4, date('now', (n * 23 - 200) || ' days'), 'Telephone', 'Service contract', 1500 + n * 350 % 4200,
         date('now', (n * 17 - 120) || ' days'), 'Offer sent'
  FROM (WITH RECURSIVE k(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM k WHERE n < 24) SELECT n FROM k)"
sqlite3 "$work/Vantrel.vt" "INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn,
  ExpextedOrderValue, ExpectedOrderDate, FUDescription) VALUES
  (2, date('now', '-3 days'), 'Visit', 'Store fittings', 8000, date('now', '+40 days'), 'Measured the shop'),
  (3, date('now', '+2 days'), 'Email', 'Spare parts', NULL, NULL, 'Send the price list'),
  (4, date('now', '+9 days'), 'Telephone', 'Maintenance', 3200, NULL, 'Call about the renewal')"
# Anna Berg's questionnaire: mostly the second choices on responsiveness, the first on assertiveness.
answers=(0 0 0 1 0 0 0 1 0 0 1 0  1 1 1 0 1 1 1 1 0 1 1 0)
for q in $(seq 1 24); do
  sqlite3 "$work/Vantrel.vt" "INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (1, $q, ${answers[q-1]})"
done

start_display "${1:-:99}"
start_program "$work"
reminders=$(window 'Reminders Report')
shot "$reminders" "$raw/reminders.png"
keys "$reminders" Return
main=$(window 'Vantrel \(Belcarre\)')
shot "$main" "$raw/people-page.png"
keys "$main" space   # the show/hide button has the focus
sleep 0.5
shot "$main" "$raw/people-expanded.png"
click "$main" 221 224   # the "..." button beside Birthday
picker=$(window 'Pick Date')
shot "$picker" "$raw/pick-date.png"
keys "$picker" Escape
click "$main" 40 36   # left strip: Personality identification
retail=$(window 'Personality Identification')
shot "$retail" "$raw/tactics.png"
click "$retail" 57 25   # the Assertiveness tab
sleep 0.2
shot "$retail" "$raw/assertiveness.png"
keys "$retail" Escape
click "$main" 40 68   # left strip: Filters
filters=$(window 'Filters')
click "$filters" 17 64     # Type
click "$filters" 233 256   # Business address: City
sleep 0.2
keys "$filters" O t t a w a
click "$filters" 158 64    # the list of types
sleep 0.2
x key Down Down Return     # Prospect
sleep 0.3
click "$filters" 50 511    # Filter
sleep 0.3
shot "$filters" "$raw/filters.png"
keys "$filters" Escape
click "$main" 40 100   # left strip: Follow-up activities
followup=$(window 'Follow-up Activities')
shot "$followup" "$raw/follow-up.png"
click "$followup" 60 275   # the first activity's follow-up date: the cell shows its "..." button
sleep 0.3
shot "$followup" "$raw/follow-up-cell.png"
close_with_escape "$followup"
# Three people entered a second time, in other spellings, for the duplicate window; added only now,
# so that the pictures above show the sample people alone.
sqlite3 "$work/Vantrel.vt" <<SQL
INSERT INTO People (CompanyID, Name, Email1, Mobile, HACity, Company, JobTitle) VALUES
 (1, 'berg, anna', 'ANNA.BERG@example.com', '+1 613 555 0100', 'Ottawa', 'Acme Limited', 'Head buyer'),
 (1, 'Ivanov, Dmitri', NULL, '+1 613 555 0163', 'Kingston', 'Lakeside Clinic', NULL),
 (1, 'Carla Díaz', NULL, NULL, 'Gatineau', 'Acme Ltd', 'Controller');
SQL
keys "$main" alt+t d   # Tools, Find duplicates...
duplicates=$(window 'Duplicate People')
shot "$duplicates" "$raw/duplicates.png"
keys "$duplicates" Escape
click "$main" 40 132   # left strip: Sales pipeline
pipeline=$(window 'Sales Pipeline')
sleep 0.5
shot "$pipeline" "$raw/pipeline.png"
[ -n "${HOLD:-}" ] && sleep "$HOLD"
stop_display

# The crops were chosen on windows of these sizes; a window of another size needs a new look.
expect_size "$raw/people-page.png" 430x542
expect_size "$raw/people-expanded.png" 799x542
expect_size "$raw/follow-up.png" 788x484
rm -f "$out"/*.png
fit() { convert "$raw/$1.png" -filter Lanczos -resize '430x>' -strip "$out/${2:-$1}.png"; }
cut() { convert "$raw/$1.png" -crop "$3" +repage -strip "$out/$2.png"; }
cut people-page people-page 426x542+0+0           # the main window as it opens, menu bar included
cut people-page toolbar 340x26+58+19
cut people-expanded business-half 369x478+430+42
fit tactics
fit assertiveness
fit filters
fit reminders
fit duplicates
fit pipeline
# The follow-up window is too wide to scale: its people list as far as Education, and its
# activities as far as the expected order value, each at its real size.
cut follow-up follow-up 428x226+0+0
cut follow-up-cell follow-up-activities 398x256+0+228
cp "$raw/pick-date.png" "$out/pick-date.png"
ls "$out"
