#pragma once
// Read-only questions to the data base. The containers are filled once at
// start-up and never written afterwards, so none of these take a lock. Codes
// are compared exactly (case-sensitive).

#include "refdata/aircraft_category.hpp"
#include "refdata/dbase.hpp"

#include <optional>
#include <string>

// False for an empty code, else whether the data base knows the model.
bool gf_isKnownModel(const std::string& model);

// First hit in the order Large, Heavy, Buzjets, Rotorcraft, HighPerf; an
// unknown or empty code is Light.
tzo::AircraftCategory gf_modelCategory(const std::string& model);

// Half the wingspan in nautical miles: the model's own, else the average of
// its category.
double gf_wingspanOf(const std::string& model);

// False for an empty code, else whether it is a real ICAO airline.
bool gf_isIcaoAirline(const std::string& airline);

// The record of a registration. When the registration itself is absent and
// it has at least 5 characters and no '-', it is tried as "XX-rest" and then
// as "X-rest" (DABCD: DA-BCD, then D-ABCD).
std::optional<tzo::DbaseRecord> gf_findDbaseRecord(const std::string& registration);
bool gf_hasDbaseRecord(const std::string& registration);

// The record's airline, type or operator; empty when there is no record.
const std::string& gf_airlineOfRegcode(const std::string& registration);
const std::string& gf_typeOfRegcode(const std::string& registration);
const std::string& gf_operatorOfRegcode(const std::string& registration);
