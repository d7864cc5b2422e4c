#!/usr/bin/env bash
# Remakes the README pictures (docs/people-page.png, docs/people-page-collapsed.png,
# docs/follow-up.png) from the built program under a virtual display, on a database with one
# sample person and two of her follow-up activities.
#   usage: scripts/make-screenshots.sh [display]      (default :99; needs Xvfb, xdotool, imagemagick)
set -euo pipefail
cd "$(dirname "$0")/.."
display=${1:-:99}
work=$(mktemp -d)
cp build/bin/vantrel "$work/" && cp -r build/bin/help "$work/"
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
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null; rm -rf "$work"' EXIT
app=
for _ in $(seq 50); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display QT_QPA_PLATFORM=xcb "$work/vantrel" >/dev/null 2>&1 &
app=$!
window=
for _ in $(seq 100); do
  window=$(DISPLAY=$display xdotool search --onlyvisible --name '^Vantrel \(Belcarre\)$' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.1
done
sleep 0.5
DISPLAY=$display import -window "$window" docs/people-page-collapsed.png
DISPLAY=$display xdotool key --window "$window" space   # the show/hide button has the focus
sleep 0.5
DISPLAY=$display import -window "$window" docs/people-page.png
# Tools > Follow-up...
DISPLAY=$display xdotool mousemove --window "$window" 72 8 click 1
sleep 0.5
DISPLAY=$display xdotool key Down Down Return
followup=
for _ in $(seq 100); do
  followup=$(DISPLAY=$display xdotool search --onlyvisible --name '^Follow-up Activities$' 2>/dev/null | head -1) && [ -n "$followup" ] && break
  sleep 0.1
done
sleep 0.5
DISPLAY=$display import -window "$followup" docs/follow-up.png
echo "made docs/people-page.png, docs/people-page-collapsed.png and docs/follow-up.png"
