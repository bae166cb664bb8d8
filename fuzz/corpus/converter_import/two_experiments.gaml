<?xml version="1.0" encoding="UTF-8"?>
<GAML version="1.20" name="reader fixture">
  <parameter group="Document" name="Owner">ignored: document level</parameter>
  <experiment name="first">
    <collectdate>2026-11-30T14:05:00</collectdate>
    <parameter group="Experiment" name="Operator">ignored: experiment level</parameter>
    <trace name="Sample &#xB5;1" technique="FTIR">
      <parameter group="Bench Info" name="Gain">2.0</parameter>
      <parameter group="Bench Info" name="DetectorID">41</parameter>
      <parameter group="History" name="line1">Collected: a &lt; b</parameter>
      <parameter group="History" name="line2">  indented</parameter>
      <parameter group="" name="EmptyGroup">in no section</parameter>
      <parameter name="NoGroup">in no section</parameter>
      <parameter group="Bench Info" name="Velocity">0.6329</parameter>
      <!-- a comment and elements the reader does not use -->
      <link linkref="elsewhere"/>
      <Xdata units="WAVENUMBER" label="spectrum">
        <parameter group="Spectrum Header" name="NumScans">32</parameter>
        <values format="FLOAT64" byteorder="INTEL" numvalues="2">AAAAAABAr0AAAAAAAAB5QA==</values>
        <Ydata units="ABSORBANCE">
          <values format="FLOAT32" byteorder="INTEL" numvalues="3">AAAAPwAAoL+mm0Q7</values>
        </Ydata>
        <Ydata units="TRANSMITTANCE">
          <values format="FLOAT64" byteorder="MOTOROLA" numvalues="2">P/gAAAAAAABABAAAAAAAAA==</values>
        </Ydata>
      </Xdata>
      <Xdata units="POINTS">
        <parameter group="Archived Sample Interferogram Header" name="Laser">15798.0</parameter>
        <values format="INT32" byteorder="MOTOROLA" numvalues="3">/////wAAAAAAARFw</values>
        <Ydata units="VOLTS">
          <peaktable/>
          <values format="INT64" byteorder="INTEL" numvalues="2">BQAAAAAAAAD////////f/w==</values>
        </Ydata>
      </Xdata>
    </trace>
  </experiment>
  <experiment name="second">
    <trace>
      <parameter name="NoGroup">in no section</parameter>
      <Xdata>
        <Ydata units="ABSORBANCE">
          <values format="FLOAT32" byteorder="MOTOROLA" numvalues="1">
            P4A
            AAA==
          </values>
        </Ydata>
      </Xdata>
    </trace>
  </experiment>
</GAML>
