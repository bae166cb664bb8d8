<?xml version="1.0" encoding="UTF-8"?>
<GAML version="1.20">
  <experiment>
    <collectdate>2026-11-30T14:05:00</collectdate>
    <trace name="small">
      <parameter group="Bench Info" name="Gain">2.0</parameter>
      <parameter group="Bench Info" name="DetectorID">41</parameter>
      <parameter group="History" name="line1">first</parameter>
      <parameter group="History" name="line2">  second</parameter>
      <Xdata units="WAVENUMBER">
        <parameter group="Spectrum Header" name="Duration">29</parameter>
        <parameter group="Spectrum Header" name="CollectErrorMap">0x1F</parameter>
        <values format="FLOAT64" byteorder="INTEL" numvalues="2">AAAAAABAr0AAAAAAAAB5QA==</values>
        <Ydata units="ABSORBANCE"><values format="FLOAT32" byteorder="INTEL" numvalues="4">AAAAPwAAgD8AAMA/AAAAQA==</values></Ydata>
      </Xdata>
      <Xdata units="POINTS">
        <parameter group="Archived Background Interferogram Header" name="Laser">15798.0</parameter>
        <values format="FLOAT64" byteorder="INTEL" numvalues="2">AAAAAAAAAAAAAAAAAAAAQA==</values>
        <Ydata><values format="FLOAT32" byteorder="INTEL" numvalues="3">AACAPwAAgL8AAAA/</values></Ydata>
      </Xdata>
      <Xdata units="POINTS">
        <parameter group="Archived Sample Interferogram Header" name="Laser">15798.0</parameter>
        <parameter group="Archived Sample Interferogram Header" name="NumScans">16</parameter>
        <values format="FLOAT64" byteorder="INTEL" numvalues="0"></values>
        <Ydata><values format="FLOAT64" byteorder="MOTOROLA" numvalues="3">QAAAAAAAAAA/8AAAAAAAAAAAAAAAAAAA</values></Ydata>
      </Xdata>
    </trace>
    <trace><Xdata><Ydata units="ABSORBANCE"><values format="FLOAT32" byteorder="INTEL" numvalues="0"></values></Ydata></Xdata></trace>
  </experiment>
</GAML>
