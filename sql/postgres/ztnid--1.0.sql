/* ztnid--1.0.sql */

\echo Use "CREATE EXTENSION ztnid" to load this file. \quit

-- The exit sees value and country as VARCHAR(255) source columns and writes a
-- VARCHAR(255) destination column; operands carry format, validate, debug and status.

CREATE FUNCTION ztnid.mask(value text, country text, operands text DEFAULT '')
RETURNS text
AS 'MODULE_PATHNAME', 'ztnid_mask'
LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;

COMMENT ON FUNCTION ztnid.mask(text, text, text) IS
'the number masked by the exit, NULL when the exit skips it';

-- Not strict: a NULL country is a reason too.
CREATE FUNCTION ztnid.check(value text, country text, operands text DEFAULT '')
RETURNS text
AS 'MODULE_PATHNAME', 'ztnid_check'
LANGUAGE C IMMUTABLE PARALLEL SAFE;

COMMENT ON FUNCTION ztnid.check(text, text, text) IS
'NULL when mask writes a value, else why the exit skips the row';

CREATE FUNCTION ztnid.random(country text, operands text DEFAULT '')
RETURNS text
AS 'MODULE_PATHNAME', 'ztnid_random'
LANGUAGE C VOLATILE STRICT PARALLEL SAFE;

COMMENT ON FUNCTION ztnid.random(text, text) IS
'a fresh valid number of the country, from the secure random generator';

-- Keyed masking: a one-to-one mask of the valid numbers that only the key (16, 24 or 32
-- bytes) reverses; operands carry the format list, scope gives an unrelated mapping.
CREATE FUNCTION ztnid.keyed_mask(value text, country text, key bytea, operands text DEFAULT '',
                                 scope text DEFAULT '')
RETURNS text
AS 'MODULE_PATHNAME', 'ztnid_keyed_mask'
LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;

COMMENT ON FUNCTION ztnid.keyed_mask(text, text, bytea, text, text) IS
'the number masked with the key, NULL when it is not valid';

CREATE FUNCTION ztnid.keyed_unmask(value text, country text, key bytea, operands text DEFAULT '',
                                   scope text DEFAULT '')
RETURNS text
AS 'MODULE_PATHNAME', 'ztnid_keyed_unmask'
LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;

COMMENT ON FUNCTION ztnid.keyed_unmask(text, text, bytea, text, text) IS
'the number keyed_mask made this one of, NULL when it is not valid';

GRANT USAGE ON SCHEMA ztnid TO PUBLIC;
