#!/usr/bin/env bash
# Remakes the pictures of the help pages (resources/help/pictures/*.png) from the built program
# under a virtual display, on a database of a few sample people: rerun it when a window changes.
#   usage: scripts/make-help-pictures.sh [display]   (default :99; needs Xvfb, xdotool, imagemagick,
#          sqlite3, and a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
display=${1:-:99}
out=resources/help/pictures
work=$(mktemp -d)
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
  'Bachelor''s', 'Engineer', 'Married with grown children', 'Sam', '1999-$today', 1, 'Ottawa', 'Canada',
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
# Anna Berg's questionnaire: mostly the second choices on responsiveness, the first on assertiveness.
answers=(0 0 0 1 0 0 0 1 0 0 1 0  1 1 1 0 1 1 1 1 0 1 1 0)
for q in $(seq 1 24); do
  sqlite3 "$work/Vantrel.vt" "INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (1, $q, ${answers[q-1]})"
done

Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
app=
trap 'kill $app $xvfb 2>/dev/null; cat "$work/log" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
kill -0 $xvfb 2>/dev/null || { echo "no virtual display on $display: is it in use?" >&2; exit 1; }
x() { DISPLAY=$display xdotool "$@"; }
window() { # title: waits for the visible window of that title and prints its id
  local id=
  for _ in $(seq 100); do
    id=$(x search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "no window \"$1\"" >&2; exit 1; }
  sleep 0.5
  echo "$id"
}
shot() { DISPLAY=$display import -window "$1" "$raw/$2.png"; }
keys() { # window, keys...: the window gets the keyboard focus first (there is no window manager)
  local id=$1; shift
  x windowfocus "$id" 2>/dev/null || true
  sleep 0.2
  x key "$@"
  sleep 0.3
}
DISPLAY=$display QT_QPA_PLATFORM=xcb "$work/vantrel" >"$work/log" 2>&1 &
app=$!
reminders=$(window 'Reminders Report')
shot "$reminders" reminders
keys "$reminders" Return
main=$(window 'Vantrel \(Belcarre\)')
shot "$main" people-page
keys "$main" space   # the show/hide button has the focus
sleep 0.5
shot "$main" people-expanded
x mousemove --window "$main" 229 230 click 1   # the "..." button beside Birthday
picker=$(window 'Pick Date')
shot "$picker" pick-date
keys "$picker" Escape
x mousemove --window "$main" 40 36 click 1   # left toolbar: Personality identification
retail=$(window 'Personality Identification')
shot "$retail" tactics
x mousemove --window "$retail" 57 25 click 1   # the Assertiveness tab
sleep 0.4
shot "$retail" assertiveness
keys "$retail" Escape
x mousemove --window "$main" 40 68 click 1   # Filters
filters=$(window 'Filters')
x mousemove --window "$filters" 17 64 click 1    # Type
x mousemove --window "$filters" 225 254 click 1  # Business address: City
sleep 0.4
keys "$filters" O t t a w a
x mousemove --window "$filters" 158 64 click 1   # the list of types
sleep 0.4
x key Down Down Return
sleep 0.3
x mousemove --window "$filters" 50 511 click 1   # Filter
sleep 0.5
shot "$filters" filters
keys "$filters" Escape
x mousemove --window "$main" 40 100 click 1  # Follow-up activities
followup=$(window 'Follow-up Activities')
shot "$followup" follow-up
keys "$followup" Escape
[ -n "${HOLD:-}" ] && sleep "$HOLD"

# The help window's pages are about 430 pixels wide: wide windows are scaled down, details cut out.
rm -f "$out"/*.png
fit() { convert "$raw/$1.png" -filter Lanczos -resize '430x>' -strip "$out/${2:-$1}.png"; }
cut() { convert "$raw/$1.png" -crop "$3" +repage -strip "$out/$2.png"; }
cut people-page people-page 426x542+0+0
cut people-page toolbar 340x26+58+19
cut people-expanded business-half 369x478+430+42
fit tactics
cut follow-up follow-up-activities 430x256+0+228
fit assertiveness
fit filters
fit reminders
fit follow-up
cp "$raw/pick-date.png" "$out/pick-date.png"
ls "$out"
