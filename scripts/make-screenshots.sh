#!/usr/bin/env bash
# Remakes the README pictures (docs/people-page.png, docs/people-page-collapsed.png,
# docs/follow-up.png, docs/pipeline.png) from the built program under a virtual display, on a
# database with one sample person and her follow-up activities, and a year of expected orders of
# three more for the pipeline: rerun it when a window changes. The windows
# are shown whole, at their real size, menu bar included.
#   usage: scripts/make-screenshots.sh [display]   (default :99; installs Xvfb, xdotool,
#          imagemagick and sqlite3 when missing; needs a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/virtual-display.sh
source scripts/virtual-display.sh
cp build/bin/vantrel "$work/" && cp -r resources/help "$work/"
build/bin/vantrel-makedb "$work/Vantrel.vt" >/dev/null
sqlite3 "$work/Vantrel.vt" "INSERT INTO People (CompanyID, Name, Title, Gender, PersonType, CustoemrImportance,
  Birthday, Breminder, Language, Income, EducationLevel, Profession, Household, Spouse, HACity, HACountry, Mobile,
  Email1, Company, CompanySize, Industry, JobTitle, BACity, MailingAddress, BillingAddress, TelMain,
  ProspectingMethod, Hobbies) VALUES (1, 'Anna Berg', 'Mrs.', 'Female', 'Customer', 'High', '1980-03-03', 1,
  'English, French', '75,000 - 99,999', 'Master''s', 'Architect', 'Married with dependent children', 'Kim',
  'Ottawa', 'Canada', '613 555 0100', 'anna@example.com', 'Acme Ltd', 'Medium', 'Retail', 'Buyer', 'Ottawa',
  'Business', 'Home', '613 555 0199', 'Seminar', 'Sailing')"
sqlite3 "$work/Vantrel.vt" "INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn,
  ExpextedOrderValue, ExpectedOrderDate, FUDescription) VALUES
  (1, '2024-02-11', 'Telephone', 'Spare parts', 2500, NULL, 'Asked for a price list'),
  (1, '2024-03-05', 'Visit', 'Store fittings', 12000, '2024-06-01', 'First meeting at their office')"
# A year of expected orders around today for the pipeline window, and follow-ups due this fortnight.
sqlite3 "$work/Vantrel.vt" "INSERT INTO People (CompanyID, Name, PersonType) VALUES
  (1, 'Bob Dean', 'Customer'), (1, 'Carla Diaz', 'Prospect'), (1, 'Dmitri Ivanov', 'Prospect')"
sqlite3 "$work/Vantrel.vt" "INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn,
  ExpextedOrderValue, ExpectedOrderDate, FUDescription)
  SELECT 2 + n % 3, date('now', (n * 23 - 200) || ' days'), 'Telephone', 'Service contract', 1500 + n * 350 % 4200,
         date('now', (n * 17 - 120) || ' days'), 'Offer sent'
  FROM (WITH RECURSIVE k(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM k WHERE n < 24) SELECT n FROM k)"
sqlite3 "$work/Vantrel.vt" "INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn,
  ExpextedOrderValue, ExpectedOrderDate, FUDescription) VALUES
  (2, date('now', '-3 days'), 'Visit', 'Store fittings', 8000, date('now', '+40 days'), 'Measured the shop'),
  (3, date('now', '+2 days'), 'Email', 'Spare parts', NULL, NULL, 'Send the price list'),
  (4, date('now', '+9 days'), 'Telephone', 'Maintenance', 3200, NULL, 'Call about the renewal'),
  (2, NULL, NULL, 'Training', 1800, date('now', '-20 days'), 'Waiting for their answer')"
start_display "${1:-:99}"
start_program "$work"
if [ "$(date +%m-%d)" = 03-03 ]; then # Anna Berg's birthday: her reminder comes first
  keys "$(window 'Reminders Report')" Return
fi
main=$(window 'Vantrel \(Belcarre\)')
shot "$main" docs/people-page-collapsed.png
keys "$main" space   # the show/hide button has the focus
sleep 0.5
shot "$main" docs/people-page.png
click "$main" 72 8   # the menu Tools
sleep 0.2
x key Down Down Return   # Follow-up...
followup=$(window 'Follow-up Activities')
shot "$followup" docs/follow-up.png
close_with_escape "$followup"
click "$main" 40 132   # left strip: Sales pipeline
pipeline=$(window 'Sales Pipeline')
sleep 0.5
shot "$pipeline" docs/pipeline.png
echo "made docs/people-page.png, docs/people-page-collapsed.png, docs/follow-up.png and docs/pipeline.png"
