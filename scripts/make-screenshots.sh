#!/usr/bin/env bash
# Remakes the README pictures (docs/people-page.png, docs/people-page-collapsed.png,
# docs/follow-up.png) from the built program under a virtual display, on a database with one
# sample person and two of her follow-up activities: rerun it when a window changes. The windows
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
echo "made docs/people-page.png, docs/people-page-collapsed.png and docs/follow-up.png"
