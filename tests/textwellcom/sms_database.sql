-- The SMS database as the tests see it: the module's login, the two sending routines, and a
-- table that records every call so that tests can check what reached the database.
-- A routine is told how to behave by the user ID it is given:
--   'raise'    raises an error;
--   'no-id'    leaves MessageID NULL;
--   'empty-id' sets MessageID to the empty text;
--   any other  records the call and answers 'MSG' followed by the call's number.
-- Tests pick their own user IDs, so parallel tests never read each other's calls.
-- The server keeps UTF-8; clients speak code page 949 (PGCLIENTENCODING=UHC).
CREATE ROLE "SMSUser" LOGIN PASSWORD 'tulipmoss7';
CREATE DATABASE "SMS" OWNER "SMSUser" ENCODING 'UTF8' TEMPLATE template0;

\connect SMS
SET ROLE "SMSUser";
CREATE SCHEMA SMS;

CREATE TABLE SMS.Calls (
  CallNumber serial PRIMARY KEY,
  Routine text NOT NULL,
  UserID text,
  Password text,
  SendPhone text,
  ReceivePhone text,
  Message text,
  ReserveYear integer,
  ReserveMonth integer,
  ReserveDay integer,
  ReserveHour integer,
  ReserveMinute integer,
  Timeout integer,
  Polling text,
  MessageID text
);

CREATE FUNCTION SMS.Answer(call SMS.Calls) RETURNS varchar LANGUAGE plpgsql AS $$
DECLARE
  number integer;
BEGIN
  IF call.UserID = 'raise' THEN
    RAISE EXCEPTION 'SMS test database: told to fail';
  END IF;
  INSERT INTO SMS.Calls (Routine, UserID, Password, SendPhone, ReceivePhone, Message,
                         ReserveYear, ReserveMonth, ReserveDay, ReserveHour, ReserveMinute,
                         Timeout, Polling)
  VALUES (call.Routine, call.UserID, call.Password, call.SendPhone, call.ReceivePhone,
          call.Message, call.ReserveYear, call.ReserveMonth, call.ReserveDay, call.ReserveHour,
          call.ReserveMinute, call.Timeout, call.Polling)
  RETURNING CallNumber INTO number;
  call.MessageID := CASE call.UserID WHEN 'no-id' THEN NULL WHEN 'empty-id' THEN ''
                    ELSE 'MSG' || number END;
  UPDATE SMS.Calls SET MessageID = call.MessageID WHERE CallNumber = number;
  RETURN call.MessageID;
END
$$;

CREATE FUNCTION SMS.SMS_SendMessage5(
    UserID varchar, Password varchar, SendPhone varchar, ReceivePhone varchar, Message varchar,
    ReserveYear integer, ReserveMonth integer, ReserveDay integer, ReserveHour integer,
    ReserveMinute integer, Timeout integer, OUT MessageID varchar)
LANGUAGE plpgsql AS $$
BEGIN
  MessageID := SMS.Answer(ROW(0, 'SMS_SendMessage5', UserID, Password, SendPhone, ReceivePhone,
                              Message, ReserveYear, ReserveMonth, ReserveDay, ReserveHour,
                              ReserveMinute, Timeout, NULL, NULL)::SMS.Calls);
END
$$;

CREATE FUNCTION SMS.SMS_SendMessageWithPolling(
    UserID varchar, Password varchar, SendPhone varchar, ReceivePhone varchar, Message varchar,
    ReserveYear integer, ReserveMonth integer, ReserveDay integer, ReserveHour integer,
    ReserveMinute integer, Timeout integer, Polling varchar, OUT MessageID varchar)
LANGUAGE plpgsql AS $$
BEGIN
  MessageID := SMS.Answer(ROW(0, 'SMS_SendMessageWithPolling', UserID, Password, SendPhone,
                              ReceivePhone, Message, ReserveYear, ReserveMonth, ReserveDay,
                              ReserveHour, ReserveMinute, Timeout, Polling, NULL)::SMS.Calls);
END
$$;
